#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rtl/Classes.h"

namespace {

using rtl::TStringList;

// Records the notices of a list as "changing"/"changed" words.
struct NoticeLog {
  explicit NoticeLog(TStringList& list) {
    list.SetOnChanging([this](rtl::TObject*) { events.push_back("changing"); });
    list.SetOnChange([this](rtl::TObject*) { events.push_back("changed"); });
  }
  std::vector<std::string> events;
};

TEST(RtlStringList, NameValueLines) {
  TStringList params;
  params.Add("Port=3306");
  params.Add("TIMEOUT=30");
  params.Add("no separator");
  params.Add("PWD=a=b");
  EXPECT_EQ(params.Values("port"), "3306");
  EXPECT_EQ(params.Values("Timeout"), "30");
  EXPECT_EQ(params.Values("PWD"), "a=b");  // only the first "=" separates
  EXPECT_EQ(params.Values("Host"), "");
  EXPECT_EQ(params.Values("no separator"), "");
  EXPECT_EQ(params.Names(0), "Port");
  EXPECT_EQ(params.Names(2), "");
  EXPECT_EQ(params.ValueFromIndex(3), "a=b");
  EXPECT_EQ(params.ValueFromIndex(2), "");
  EXPECT_EQ(params.IndexOfName("TIMEOUT"), 1);
  EXPECT_EQ(params.IndexOfName("UID"), -1);

  params.SetValues("PORT", "3307");  // replaces the line in place, with the new name's case
  EXPECT_EQ(params.Strings(0), "PORT=3307");
  params.SetValues("Host", "localhost");  // a new name is appended
  EXPECT_EQ(params.Strings(4), "Host=localhost");
  params.SetValues("timeout", "");  // an empty value removes the line
  EXPECT_EQ(params.Count(), 4);
  EXPECT_EQ(params.IndexOfName("TIMEOUT"), -1);
  params.SetValues("missing", "");  // removing what is absent changes nothing
  EXPECT_EQ(params.Count(), 4);

  // Names compare alike whatever the case of accented letters.
  TStringList accented;
  accented.Add("Descri\xC7\xC3O=x");
  EXPECT_EQ(accented.Values("descri\xE7\xE3o"), "x");
  EXPECT_EQ(accented.IndexOf("DESCRI\xC7\xC3O=X"), 0);
}

TEST(RtlStringList, EveryChangeIsAnnouncedBeforeAndAfter) {
  TStringList list;
  NoticeLog log(list);
  list.Add("a");
  list.Insert(0, "b");
  list.SetStrings(0, "c");
  list.SetValues("k", "v");
  list.Delete(0);
  list.Clear();
  list.Clear();  // an empty list does not change
  const std::vector<std::string> expected = {"changing", "changed", "changing", "changed",
                                             "changing", "changed", "changing", "changed",
                                             "changing", "changed", "changing", "changed"};
  EXPECT_EQ(log.events, expected);
}

TEST(RtlStringList, AnUpdateBlockGivesASingleNotice) {
  TStringList list;
  list.Add("x");
  NoticeLog log(list);
  list.BeginUpdate();
  list.BeginUpdate();  // nested
  list.Add("a");
  list.SetValues("Port", "1");
  list.EndUpdate();
  EXPECT_EQ(log.events, std::vector<std::string>{"changing"});
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(log.events, (std::vector<std::string>{"changing", "changed"}));
  EXPECT_EQ(list.UpdateCount(), 0);

  // Text and Assign are one update each.
  log.events.clear();
  list.SetText("select *\r\nfrom cliente\nwhere 1=1\r\n");
  EXPECT_EQ(log.events, (std::vector<std::string>{"changing", "changed"}));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Strings(1), "from cliente");
  EXPECT_EQ(list.Text(), "select *\r\nfrom cliente\r\nwhere 1=1\r\n");
  log.events.clear();
  TStringList other;
  other.Add("one");
  list.Assign(other);
  EXPECT_EQ(log.events, (std::vector<std::string>{"changing", "changed"}));
  EXPECT_TRUE(list.Equals(other));
}

TEST(RtlStringList, AFailingBeforeChangeNoticePreventsTheChange) {
  TStringList list;
  list.Add("Port=3306");
  list.SetOnChanging([](rtl::TObject*) {
    throw rtl::Exception("Cannot perform this operation on an open database");
  });
  EXPECT_THROW(list.SetValues("Port", "1"), rtl::Exception);
  EXPECT_THROW(list.Add("x"), rtl::Exception);
  EXPECT_THROW(list.Clear(), rtl::Exception);
  EXPECT_THROW(list.BeginUpdate(), rtl::Exception);
  EXPECT_EQ(list.UpdateCount(), 0);
  EXPECT_EQ(list.Text(), "Port=3306\r\n");
}

TEST(RtlStringList, TextAndCommaForms) {
  TStringList list;
  struct Case {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
  };
  for (const Case& c : cases) {
    list.SetText(c.text);
    ASSERT_EQ(list.Count(), static_cast<int>(c.lines.size())) << c.text;
    for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(list.Strings(int(i)), c.lines[i]);
  }
  list.Clear();
  list.Add("plain");
  list.Add("with blank");
  list.Add("say \"hi\"");
  list.Add("");
  list.Add("a,b");
  EXPECT_EQ(list.CommaText(), "plain,\"with blank\",\"say \"\"hi\"\"\",\"\",\"a,b\"");
  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_TRUE(back.Equals(list));
  back.SetCommaText("x y, z,");
  EXPECT_EQ(back.CommaText(), "x,y,z,\"\"");
}

TEST(RtlStringList, BoundsSortingAndObjects) {
  TStringList list;
  try {
    list.Strings(0);
    FAIL();
  } catch (const rtl::EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (0)");
  }
  EXPECT_THROW(list.Insert(1, "x"), rtl::EStringListError);
  EXPECT_THROW(list.Delete(-1), rtl::EStringListError);

  list.SetSorted(true);
  for (const char* s : {"pedro", "Ana", "jose", "ana"}) list.Add(s);
  EXPECT_EQ(list.Count(), 3);  // duplicates ignored, case-insensitively
  EXPECT_EQ(list.CommaText(), "Ana,jose,pedro");
  int index;
  EXPECT_TRUE(list.Find("JOSE", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("maria", index));
  EXPECT_EQ(index, 2);
  EXPECT_THROW(list.Insert(0, "x"), rtl::EStringListError);
  list.SetDuplicates(rtl::TDuplicates::dupError);
  EXPECT_THROW(list.Add("PEDRO"), rtl::EStringListError);

  TStringList owned;
  rtl::TObject marker;
  owned.AddObject("m", &marker);
  EXPECT_EQ(owned.Objects(0), &marker);
  EXPECT_EQ(owned.IndexOfObject(&marker), 0);
  TStringList copy(owned);
  EXPECT_EQ(copy.Objects(0), &marker);
}

TEST(RtlStreams, MemoryStreamReadsWritesAndSeeks) {
  rtl::TMemoryStream s;
  EXPECT_EQ(s.Write("hello", 5), 5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Size(), 5);
  s.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(s.Read(buf, 8), 0);  // at the end
  EXPECT_EQ(s.Seek(-2, rtl::TSeekOrigin::soEnd), 3);
  EXPECT_EQ(s.Seek(1, rtl::TSeekOrigin::soCurrent), 4);

  // Writing past the end fills the gap with zeros.
  s.SetPosition(7);
  s.WriteBuffer("!", 1);
  EXPECT_EQ(s.DataString(), std::string("hello\0\0!", 8));

  s.SetSize(2);
  EXPECT_EQ(s.Position(), 2);
  EXPECT_EQ(s.DataString(), "he");
  s.SetSize(4);
  EXPECT_EQ(s.DataString(), std::string("he\0\0", 4));

  s.SetPosition(0);
  EXPECT_THROW(s.ReadBuffer(buf, 5), rtl::EReadError);
  s.SetPosition(-1);
  EXPECT_EQ(s.Read(buf, 1), 0);
  EXPECT_EQ(s.Write("x", 1), 0);

  rtl::TMemoryStream source("abcdef");
  source.SetPosition(4);
  rtl::TMemoryStream copy;
  copy.LoadFromStream(source);
  EXPECT_EQ(copy.DataString(), "abcdef");
  EXPECT_EQ(copy.Position(), 0);
  rtl::TMemoryStream part;
  source.SetPosition(2);
  EXPECT_EQ(part.CopyFrom(source, 3), 3);
  EXPECT_EQ(part.DataString(), "cde");
  EXPECT_THROW(part.CopyFrom(source, 5), rtl::EReadError);
  rtl::TMemoryStream all;
  EXPECT_EQ(all.CopyFrom(source, 0), 6);
  copy.Clear();
  EXPECT_EQ(copy.Size(), 0);
  all.SaveToStream(copy);
  EXPECT_EQ(copy.View(), "abcdef");
}

}  // namespace
