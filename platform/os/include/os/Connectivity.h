// Network connectivity test for the agent's support keys.
//
// The question asked is the one a desktop program asks before it tries to
// download something: does this machine have at least one usable route that
// leaves it (a route through an interface other than loopback that is up)?
// Nothing is cached; every call reads the kernel's routing tables afresh.
// The functions keep no state and may be called from any thread.
#pragma once

#include <string_view>

namespace os {

// True when the IPv4 routing table (/proc/net/route) or the IPv6 routing
// table (/proc/net/ipv6_route) holds a route that is up through an interface
// other than loopback.
bool HasNetworkConnection();

// The IPv4 rule on the text of /proc/net/route: a header line, then one line
// per route with the interface name first and the flags (hexadecimal) in the
// fourth column. A route counts when RTF_UP is set and the interface is not
// "lo".
bool Ipv4RouteTableHasUsableRoute(std::string_view table);

// The IPv6 rule on the text of /proc/net/ipv6_route: ten columns per line,
// the flags (hexadecimal) ninth and the interface name tenth. A route counts
// when RTF_UP is set, it is neither a reject route nor the route of an own
// address, its prefix is not link-local or multicast, and the interface is
// not "lo".
bool Ipv6RouteTableHasUsableRoute(std::string_view table);

}  // namespace os
