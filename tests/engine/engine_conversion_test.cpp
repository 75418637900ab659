// The engine converts text between the workstation and server code pages
// through a byte table per pair of code pages; every byte must come out as
// the code-page conversion itself gives it, also after the connection's code page
// changes back and forth.
#include <gtest/gtest.h>

#include <string>

#include "engine/MySQLEngine.h"
#include "wire/CodePages.h"

namespace engine {
namespace {

TEST(CharacterConversion, EveryByteAsTheCodePagesSayAcrossServerChanges) {
  TmySQLEngine engine;
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  // ISO 8859-1, 8859-15, Windows-1251, IBM 850, KOI8-R, none, and 8859-15 again.
  for (int server : {1, 5, 15, 28, 43, 0, 5}) {
    engine.SetConnectionCodePage(server);
    std::string to_native(all.size(), '\0'), to_ansi(all.size(), '\0');
    engine.AnsiToNativeBuf(all.data(), to_native.data(), static_cast<int>(all.size()));
    engine.NativeToAnsiBuf(all.data(), to_ansi.data(), static_cast<int>(all.size()));
    EXPECT_EQ(to_native, wire::Convert(all, ClientCodePage(), server)) << server;
    EXPECT_EQ(to_ansi, wire::Convert(all, server, ClientCodePage())) << server;
    // In place as well.
    std::string in_place = all;
    engine.NativeToAnsiBuf(in_place.data(), in_place.data(), static_cast<int>(in_place.size()));
    EXPECT_EQ(in_place, to_ansi) << server;
  }
}

}  // namespace
}  // namespace engine
