// Lists of the run-time library: TList, TStringList, TBits and TByteArray.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rtl/containers.h"
#include "platform/rtl/exceptions.h"

namespace host {
namespace {

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

template <class E, class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "<no exception>";
}

// ---------------------------------------------------------------------------------------------
// TList

// Records what its descendant hooks are told, the way an owning list would react.
class RecordingList : public TList {
 public:
  std::vector<std::pair<void*, TListNotification>> Events;

 protected:
  void Notify(void* Ptr, TListNotification Action) override { Events.emplace_back(Ptr, Action); }
};

TEST(TListTest, EditsKeepOrderAndAnnounceEntries) {
  int a = 1, b = 2, c = 3;
  RecordingList list;
  list.Add(&a);
  list.Add(&b);
  list.Insert(1, &c);
  list.Add(nullptr);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Items(1), &c);
  EXPECT_EQ(list.IndexOf(&b), 2);

  list.Move(0, 2);  // c b a nullptr
  EXPECT_EQ(list.Items(0), &c);
  EXPECT_EQ(list.Items(2), &a);
  list.Exchange(0, 1);  // b c a nullptr
  EXPECT_EQ(list.First(), &b);

  EXPECT_EQ(list.Extract(&c), &c);
  EXPECT_EQ(list.Extract(&c), nullptr);
  EXPECT_EQ(list.Remove(&a), 1);
  list.Pack();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Last(), &b);

  // nullptr entries are never announced; extraction is not a deletion.
  std::vector<std::pair<void*, TListNotification>> expected = {
      {&a, lnAdded}, {&b, lnAdded}, {&c, lnAdded}, {&c, lnExtracted}, {&a, lnDeleted}};
  EXPECT_EQ(list.Events, expected);

  list.Clear();
  EXPECT_EQ(list.Events.back(), std::make_pair(static_cast<void*>(&b), lnDeleted));
}

TEST(TListTest, SortIsStable) {
  std::vector<int> values = {3, 1, 2, 1, 3};
  TList list;
  for (int& v : values) list.Add(&v);
  list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
  std::vector<void*> expected = {&values[1], &values[3], &values[2], &values[0], &values[4]};
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Items(i), expected[i]) << i;
}

TEST(TListTest, BadIndexesRaiseListError) {
  int a = 0;
  TList list;
  list.Add(&a);
  struct Case {
    const char* what;
    std::function<void()> call;
    std::string message;
  };
  std::vector<Case> cases = {
      {"Items past the end", [&] { list.Items(1); }, "List index out of bounds (1)"},
      {"negative Items", [&] { list.Items(-1); }, "List index out of bounds (-1)"},
      {"Delete past the end", [&] { list.Delete(5); }, "List index out of bounds (5)"},
      {"Insert beyond Count", [&] { list.Insert(2, &a); }, "List index out of bounds (2)"},
      {"Move to a bad index", [&] { list.Move(0, 3); }, "List index out of bounds (3)"},
      {"negative count", [&] { list.SetCount(-1); }, "List count out of bounds (-1)"},
      {"capacity below count", [&] { list.SetCapacity(0); }, "List capacity out of bounds (0)"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageOf<EListError>(c.call), c.message) << c.what;
  EXPECT_EQ(list.Count(), 1);
}

// ---------------------------------------------------------------------------------------------
// TStringList: NAME=value

TEST(TStringListTest, NameValueAccess) {
  TStringList list;
  list.SetText("SERVER=db1\r\nUser Name=joe\nPATH=a=b\rNOVALUE\nEMPTY=\n");
  ASSERT_EQ(list.Count(), 5);

  struct Case {
    const char* name;
    std::string value;
  };
  for (const Case& c : std::vector<Case>{{"SERVER", "db1"},
                                         {"server", "db1"},  // names ignore case
                                         {"User Name", "joe"},
                                         {"PATH", "a=b"},    // only the first "=" separates
                                         {"NOVALUE", ""},    // a bare line has no name
                                         {"EMPTY", ""},
                                         {"MISSING", ""}}) {
    EXPECT_EQ(list.Values(c.name), c.value) << c.name;
  }
  EXPECT_EQ(list.IndexOfName("NOVALUE"), -1);
  EXPECT_EQ(list.IndexOfName("empty"), 4);
  EXPECT_EQ(list.Names(2), "PATH");
  EXPECT_EQ(list.Names(3), "");
  EXPECT_EQ(list.ValueFromIndex(2), "a=b");
  EXPECT_EQ(list.ValueFromIndex(3), "");
}

TEST(TStringListTest, SettingValues) {
  TStringList list;
  list.SetCommaText("A=1,B=2,C=3");
  list.SetValues("b", "20");  // replaces the line, written with the name as given
  list.SetValues("D", "4");   // adds
  list.SetValues("A", "");    // deletes
  list.SetValues("X", "");    // nothing to delete
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"b=20", "C=3", "D=4"}));

  list.SetValueFromIndex(1, "30");
  EXPECT_EQ(list.Get(1), "C=30");
  list.SetValueFromIndex(1, "");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"b=20", "D=4"}));
  EXPECT_EQ(list.AddPair("E", "5"), 2);

  list.SetNameValueSeparator(':');
  list.Add("K:v");
  EXPECT_EQ(list.Values("K"), "v");
}

TEST(TStringListTest, SettingValuesOnASortedListKeepsItSorted) {
  TStringList list;
  list.SetSorted(true);
  list.Add("B=2");
  list.Add("D=4");
  list.SetValues("C", "3");
  list.SetValues("B", "9");
  list.SetValues("A", "1");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"A=1", "B=9", "C=3", "D=4"}));

  // A value that would make the line a refused duplicate leaves the old line in place.
  list.SetDuplicates(dupError);
  list.Add("A=2");
  EXPECT_THROW(list.SetValues("A", "2"), EStringListError);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"A=1", "A=2", "B=9", "C=3", "D=4"}));
}

// ---------------------------------------------------------------------------------------------
// TStringList: sorting, duplicates and case

TEST(TStringListTest, DuplicatesPolicies) {
  struct Case {
    TDuplicates policy;
    bool caseSensitive;
    std::vector<std::string> expected;
    bool raises;
  };
  // Adding "pear", "Apple", "apple", "pear" to a sorted list.
  std::vector<Case> cases = {
      {dupIgnore, false, {"Apple", "pear"}, false},
      {dupAccept, false, {"Apple", "apple", "pear", "pear"}, false},
      {dupError, false, {}, true},
      {dupIgnore, true, {"apple", "Apple", "pear"}, false},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(c.policy);
    list.SetCaseSensitive(c.caseSensitive);
    std::string error;
    try {
      for (const char* s : {"pear", "Apple", "apple", "pear"}) list.Add(s);
    } catch (const EStringListError& e) {
      error = e.Message();
    }
    if (c.raises) {
      EXPECT_EQ(error, "String list does not allow duplicates");
      EXPECT_EQ(list.Count(), 2) << "the refused entry is not added";
    } else {
      EXPECT_EQ(error, "");
      std::vector<std::string> lines = Lines(list);
      if (c.policy == dupAccept) {
        // Equal entries (ignoring case) may come in either case order; compare ignoring it.
        ASSERT_EQ(lines.size(), c.expected.size());
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(list.CompareStrings(lines[i], c.expected[i]), 0);
      } else if (c.caseSensitive) {
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[2], "pear");
      } else {
        EXPECT_EQ(lines, c.expected);
      }
    }
  }
}

TEST(TStringListTest, AddOfAnIgnoredDuplicateReturnsTheExistingIndex) {
  TStringList list;
  list.SetSorted(true);
  list.Add("b");
  list.Add("c");
  EXPECT_EQ(list.Add("a"), 0);
  EXPECT_EQ(list.Add("C"), 2);
  EXPECT_EQ(list.Count(), 3);
}

TEST(TStringListTest, FindAndIndexOf) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupAccept);
  for (const char* s : {"delta", "alpha", "charlie", "alpha", "bravo"}) list.Add(s);
  int index = -1;
  EXPECT_TRUE(list.Find("ALPHA", index));
  EXPECT_EQ(index, 0) << "the first of equal entries";
  EXPECT_FALSE(list.Find("bz", index));
  EXPECT_EQ(index, 3) << "where it would go";
  EXPECT_EQ(list.IndexOf("Charlie"), 3);
  EXPECT_EQ(list.IndexOf("echo"), -1);

  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("Charlie"), -1);
  EXPECT_EQ(list.IndexOf("charlie"), 3);

  TStringList unsorted;
  unsorted.SetCommaText("b,a,c");
  EXPECT_TRUE(unsorted.Find("c", index)) << "an unsorted list is searched in full";
  EXPECT_EQ(index, 2);
}

TEST(TStringListTest, SortedListRefusesPositionalEdits) {
  TStringList list;
  list.Add("b");
  list.Add("a");
  list.SetSorted(true);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b"})) << "switching Sorted on sorts";
  for (auto call : std::vector<std::function<void()>>{[&] { list.Insert(0, "c"); },
                                                      [&] { list.Put(0, "c"); },
                                                      [&] { list.Exchange(0, 1); },
                                                      [&] { list.Move(0, 1); },
                                                      [&] { list.CustomSort([](TStringList*, int, int) { return 0; }); }}) {
    EXPECT_EQ(MessageOf<EStringListError>(call), "Operation not allowed on sorted list");
  }
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b"}));
}

TEST(TStringListTest, BadIndexes) {
  TStringList list;
  list.Add("x");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Get(1); }), "List index out of bounds (1)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Delete(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Insert(3, "y"); }), "List index out of bounds (3)");
  EXPECT_EQ(MessageOf<EStringListError>([&] { list.Objects(2); }), "List index out of bounds (2)");
}

TEST(TStringListTest, ObjectsTravelWithTheirLines) {
  TObject one, two;
  TStringList list;
  list.AddObject("b", &two);
  list.AddObject("a", &one);
  list.Add("");
  list.PutObject(2, &one);
  list.Sort();
  EXPECT_EQ(list.Objects(0), &one) << "the empty line sorts first";
  EXPECT_EQ(list.Get(1), "a");
  EXPECT_EQ(list.Objects(1), &one);
  EXPECT_EQ(list.Objects(2), &two);
  EXPECT_EQ(list.IndexOfObject(&two), 2);

  TStringList copy;
  copy.Assign(&list);
  EXPECT_TRUE(copy.Equals(&list));
  EXPECT_EQ(copy.Objects(2), &two);
}

// ---------------------------------------------------------------------------------------------
// TStringList: text forms

TEST(TStringListTest, TextEndsEveryLineWithALineBreak) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.SetText("one\r\ntwo\n\nthree");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"one", "two", "", "three"}));
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\n\r\nthree\r\n");
  list.SetLineBreak("\n");
  EXPECT_EQ(list.Text(), "one\ntwo\n\nthree\n");
  list.SetText("last line break\n");
  EXPECT_EQ(list.Count(), 1);
}

TEST(TStringListTest, CommaTextRoundTrips) {
  struct Case {
    std::vector<std::string> lines;
    std::string text;
  };
  std::vector<Case> cases = {
      {{}, ""},
      {{""}, "\"\""},
      {{"a", "b"}, "a,b"},
      {{"with space", "x"}, "\"with space\",x"},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"a,b", ""}, "\"a,b\","},
      {{"", "a"}, ",a"},
      {{"tab\there"}, "\"tab\there\""},
  };
  for (const Case& c : cases) {
    TStringList list;
    for (const std::string& s : c.lines) list.Add(s);
    EXPECT_EQ(list.CommaText(), c.text);
    TStringList back;
    back.SetCommaText(c.text);
    EXPECT_EQ(Lines(back), c.lines) << c.text;
  }
}

TEST(TStringListTest, ParsingDelimitedText) {
  struct Case {
    const char* text;
    char delimiter;
    bool strict;
    std::vector<std::string> lines;
  };
  std::vector<Case> cases = {
      {"a b,c", ',', false, {"a", "b", "c"}},       // blanks separate too
      {"  a ,  b  ", ',', false, {"a", "b"}},        // and are skipped around entries
      {"a b,c", ',', true, {"a b", "c"}},            // strict: only the delimiter
      {"x;\"y;z\";", ';', true, {"x", "y;z", ""}},   // quoted delimiter, trailing empty entry
      {"\"open", ',', false, {"open"}},              // an unterminated quote runs to the end
      {"\"ab\"cd", ',', false, {"ab", "cd"}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.SetDelimiter(c.delimiter);
    list.SetStrictDelimiter(c.strict);
    list.SetDelimitedText(c.text);
    EXPECT_EQ(Lines(list), c.lines) << c.text;
  }
}

// ---------------------------------------------------------------------------------------------
// TStringList: change events

TEST(TStringListTest, UpdatesFireChangingAndChangeOnce) {
  TStringList list;
  std::vector<std::string> events;
  list.SetOnChanging([&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    events.push_back("changing");
  });
  list.SetOnChange([&](TObject*) { events.push_back("change"); });

  list.Add("a");
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"}));

  events.clear();
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing"}));
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"}));

  events.clear();
  list.BeginUpdate();
  list.EndUpdate();
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"})) << "even with nothing changed";

  events.clear();
  list.SetText("x\ny\nz");
  EXPECT_EQ(events, (std::vector<std::string>{"changing", "change"})) << "a whole text is one change";
}

TEST(TStringListTest, ARefusingChangingHandlerLeavesTheListAlone) {
  TStringList list;
  list.Add("keep");
  list.SetOnChanging([](TObject*) { throw EInvalidOperation("list is locked"); });
  EXPECT_THROW(list.Add("new"), EInvalidOperation);
  EXPECT_THROW(list.Delete(0), EInvalidOperation);
  EXPECT_THROW(list.BeginUpdate(), EInvalidOperation);
  EXPECT_EQ(list.UpdateCount(), 0);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"keep"}));
}

// Descendants that own their entries' objects override Delete.
class OwningList : public TStringList {
 public:
  int Freed = 0;
  void Delete(int Index) override {
    ++Freed;
    TStringList::Delete(Index);
  }
};

TEST(TStringListTest, DeleteIsVirtual) {
  OwningList list;
  list.SetCommaText("A=1,B=2");
  TStrings& base = list;
  base.SetValues("A", "");
  base.SetValueFromIndex(0, "");
  EXPECT_EQ(list.Freed, 2);
  EXPECT_EQ(list.Count(), 0);
}

// ---------------------------------------------------------------------------------------------
// TBits

TEST(TBitsTest, GrowsOnWriteAndRaisesOnReadBeyondSize) {
  TBits bits;
  EXPECT_EQ(bits.OpenBit(), 0);
  bits.SetBits(4, true);
  EXPECT_EQ(bits.Size(), 5);
  EXPECT_FALSE(bits.Bits(0));
  EXPECT_TRUE(bits.Bits(4));
  for (int i = 0; i < 4; ++i) bits.SetBits(i, true);
  EXPECT_EQ(bits.OpenBit(), 5) << "none clear: Size";
  bits.SetBits(2, false);
  EXPECT_EQ(bits.OpenBit(), 2) << "the lowest clear bit";

  for (auto call : std::vector<std::function<void()>>{[&] { bits.Bits(5); },
                                                      [&] { bits.Bits(-1); },
                                                      [&] { bits.SetBits(-1, true); },
                                                      [&] { bits.SetSize(-2); }}) {
    EXPECT_EQ(MessageOf<EBitsError>(call), "Bits index out of range");
  }
  bits.SetSize(2);
  EXPECT_EQ(bits.OpenBit(), 2);
}

// ---------------------------------------------------------------------------------------------
// TByteArray

TEST(TByteArrayTest, CopiesShareTheBytes) {
  TByteArray a(3);
  a[0] = 7;
  TByteArray b = a;
  b[1] = 9;
  EXPECT_EQ(a[1], 9) << "shared, like the host's dynamic arrays";
  EXPECT_EQ(a.RefCount(), 2);

  b.SetLength(5);  // gives b bytes of its own
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_EQ(b.Length(), 5u);
  EXPECT_EQ(b[0], 7);
  EXPECT_EQ(b[4], 0);
  b[0] = 1;
  EXPECT_EQ(a[0], 7);

  TByteArray c = a.Copy();
  EXPECT_EQ(c, a);
  EXPECT_EQ(a.RefCount(), 1);
  EXPECT_THROW(a[3], ERangeError);
  EXPECT_TRUE(TByteArray().Empty());
}

TEST(TByteArrayTest, RawSlotsCountTheirReferences) {
  alignas(void*) unsigned char record[2 * TByteArray::SlotSize] = {};
  void* slot0 = record;
  void* slot1 = record + TByteArray::SlotSize;
  {
    TByteArray value("abc", 3);
    TByteArray::Store(slot0, value);
    EXPECT_EQ(value.RefCount(), 2);
    TByteArray::CopySlot(slot1, slot0);
    EXPECT_EQ(value.RefCount(), 3);
  }
  TByteArray loaded = TByteArray::Load(slot1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.Data()), loaded.Length()), "abc");
  EXPECT_EQ(loaded.RefCount(), 3);
  TByteArray::Release(slot0);
  TByteArray::Release(slot1);
  EXPECT_EQ(loaded.RefCount(), 1);
  EXPECT_TRUE(TByteArray::Load(slot0).Empty()) << "a released slot is zeroed";
  TByteArray::Release(slot0);  // releasing an empty slot is harmless
}

}  // namespace
}  // namespace host
