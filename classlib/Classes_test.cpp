// Lists, string lists, streams and the class registry.
#include "classlib/Classes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "tests/support/TestPaths.h"

namespace {

// ---------------------------------------------------------------------------
// TList

// A list that records its notifications and owns its items the way the logger's
// lists do: freed on Deleted, not on Extracted.
class TOwningList : public TList {
  VELMORA_CLASS(TOwningList, TList)
 public:
  ~TOwningList() override { Clear(); }
  std::vector<std::pair<int, TListNotification>> Log;
  int Cleared = 0;
  void Clear() override {
    ++Cleared;
    TList::Clear();
  }

 protected:
  void Notify(void* item, TListNotification action) override {
    Log.emplace_back(*static_cast<int*>(item), action);
    if (action == TListNotification::Deleted) delete static_cast<int*>(item);
  }
};

TEST(List, NotifiesOnAddDeleteAndExtract) {
  TOwningList list;
  int* one = new int(1);
  list.Add(one);
  list.Add(new int(2));
  list.Insert(0, new int(0));
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(*static_cast<int*>(list[1]), 1);
  EXPECT_EQ(list.Extract(one), one);
  EXPECT_EQ(list.Extract(one), nullptr);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 1);
  using N = TListNotification;
  std::vector<std::pair<int, N>> expected = {{1, N::Added}, {2, N::Added}, {0, N::Added}, {1, N::Extracted},
                                             {0, N::Deleted}};
  EXPECT_EQ(list.Log, expected);
  delete one;  // extracted: ours again
  TList* asBase = &list;
  asBase->Clear();  // virtual: reaches the override
  EXPECT_EQ(list.Cleared, 1);
  EXPECT_EQ(list.Log.back(), std::make_pair(2, N::Deleted));
}

TEST(List, IndexErrorsAndOrdering) {
  TList list;
  int a = 1, b = 2, c = 3;
  list.Add(&c);
  list.Add(&a);
  list.Add(nullptr);
  list.Add(&b);
  EXPECT_THROW(list.Get(4), EListError);
  EXPECT_THROW(list.Get(-1), EListError);
  EXPECT_THROW(list.Insert(5, &a), EListError);
  EXPECT_THROW(list.Delete(4), EListError);
  EXPECT_THROW(
      try { list.Get(7); } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (7)");
        throw;
      },
      EListError);
  list.Pack();
  EXPECT_EQ(list.Count(), 3);
  list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
  EXPECT_EQ(list.First(), &a);
  EXPECT_EQ(list.Last(), &c);
  list.Move(0, 2);
  EXPECT_EQ(list.IndexOf(&a), 2);
  list.Exchange(0, 2);
  EXPECT_EQ(list.IndexOf(&a), 0);
  EXPECT_EQ(list.Remove(&b), 2);
  EXPECT_EQ(list.Remove(&b), -1);
}

TEST(ObjectList, FreesWhatItDeletesButNotWhatItExtracts) {
  struct TCounted : TObject {
    explicit TCounted(int* counter) : Counter(counter) {}
    ~TCounted() override { ++*Counter; }
    int* Counter;
  };
  int freed = 0;
  auto* kept = new TCounted(&freed);
  {
    TObjectList list;
    list.Add(new TCounted(&freed));
    list.Add(kept);
    list.Add(new TCounted(&freed));
    list.Add(new TCounted(&freed));
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(list.Extract(kept), kept);
    EXPECT_EQ(freed, 1);
    list.Remove(list[0]);
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(list.Count(), 1);
  }
  EXPECT_EQ(freed, 3);
  {
    TObjectList borrowed(false);
    borrowed.Add(kept);
  }
  EXPECT_EQ(freed, 3);
  delete kept;
}

// ---------------------------------------------------------------------------
// TStringList

TEST(StringList, TextSplitsOnEveryLineEnd) {
  TStringList list;
  list.SetText("one\r\ntwo\nthree\rfour\r\n\r\nsix");
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(list[0], "one");
  EXPECT_EQ(list[2], "three");
  EXPECT_EQ(list[3], "four");
  EXPECT_EQ(list[4], "");
  EXPECT_EQ(list[5], "six");
  EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n");
  list.SetText("a\n");
  EXPECT_EQ(list.Count(), 1);
  list.SetText("\r\r\n");
  EXPECT_EQ(list.Count(), 2);
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, NameValueAccess) {
  TStringList list;
  list.SetText("Key=Value\nEmpty=\nNoSeparator\nkey2=a=b");
  EXPECT_EQ(list.Value("KEY"), "Value");  // case-insensitive by default
  EXPECT_EQ(list.Value("key2"), "a=b");
  EXPECT_EQ(list.Value("NoSeparator"), "");
  EXPECT_EQ(list.IndexOfName("NoSeparator"), -1);
  EXPECT_EQ(list.IndexOfName("empty"), 1);
  EXPECT_EQ(list.Name(3), "key2");
  EXPECT_EQ(list.ValueFromIndex(3), "a=b");
  list.SetValue("key", "New");
  EXPECT_EQ(list[0], "key=New");  // the name as the caller spells it
  list.SetValue("Added", "1");
  EXPECT_EQ(list[list.Count() - 1], "Added=1");
  list.SetValue("KEY", "");
  EXPECT_EQ(list.IndexOfName("Key"), -1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.Value("KEY2"), "");
  list.NameValueSeparator = ':';
  list.Add("host:example");
  EXPECT_EQ(list.Value("host"), "example");
}

TEST(StringList, SortedModeAndDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "banana", "apple"}) list.Add(s);
  // dupIgnore (default) and case-insensitive: "apple" is a duplicate of "Apple".
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.CommaText(), "Apple,banana,pear");
  int index;
  EXPECT_TRUE(list.Find("BANANA", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("cherry", index));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.IndexOf("PEAR"), 2);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  list.Duplicates = TDuplicates::dupError;
  EXPECT_THROW(list.Add("Pear"), EStringListError);
  list.Duplicates = TDuplicates::dupAccept;
  list.Add("Pear");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list[3], "Pear");  // after the equal item already there
  // Case-sensitive: upper case sorts before lower (byte order).
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.CommaText(), "Apple,Pear,banana,pear");
  // Replacing in a sorted list keeps it sorted.
  list.SetValue("zz", "1");
  list.Put(0, "zebra");
  EXPECT_EQ(list[list.Count() - 1], "zz=1");
  EXPECT_EQ(list.IndexOf("zebra"), list.Count() - 2);
}

TEST(StringList, DelimitedText) {
  TStringList list;
  list.SetCommaText("a, b,\"c, d\",\"e \"\"q\"\"\",,f");
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(list[0], "a");
  EXPECT_EQ(list[1], "b");
  EXPECT_EQ(list[2], "c, d");
  EXPECT_EQ(list[3], "e \"q\"");
  EXPECT_EQ(list[4], "");
  EXPECT_EQ(list[5], "f");
  EXPECT_EQ(list.CommaText(), "a,b,\"c, d\",\"e \"\"q\"\"\",,f");
  // Not strict: blanks separate too.
  list.SetCommaText("x y");
  EXPECT_EQ(list.Count(), 2);
  list.StrictDelimiter = true;
  list.Delimiter = ';';
  list.SetDelimitedText("x y;z;");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "x y");
  EXPECT_EQ(list[2], "");
  EXPECT_EQ(list.DelimitedText(), "x y;z;");
  // An unterminated quote runs to the end; a single empty item survives a round trip.
  list.SetDelimitedText("\"abc");
  EXPECT_EQ(list[0], "abc");
  list.Clear();
  list.Add("");
  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_EQ(back.Count(), 1);
}

TEST(StringList, ObjectsAndOwnership) {
  struct TCounted : TObject {
    explicit TCounted(int* counter) : Counter(counter) {}
    ~TCounted() override { ++*Counter; }
    int* Counter;
  };
  int freed = 0;
  {
    TStringList list;
    list.OwnsObjects = true;
    list.AddObject("a", new TCounted(&freed));
    list.AddObject("b", new TCounted(&freed));
    list.AddObject("c", new TCounted(&freed));
    EXPECT_EQ(list.IndexOfObject(list.GetObject(1)), 1);
    list.Delete(0);
    EXPECT_EQ(freed, 1);
    list.PutObject(0, new TCounted(&freed));  // replaces and frees the old one
    EXPECT_EQ(freed, 2);
  }
  EXPECT_EQ(freed, 4);
  TStringList notOwning;
  TCounted kept(&freed);
  notOwning.AddObject("k", &kept);
  notOwning.Clear();
  EXPECT_EQ(freed, 4);
}

TEST(StringList, UpdateBatchingAnnouncesOnce) {
  TStringList list;
  int changes = 0, changing = 0;
  list.OnChange = [&](TStringList&) { ++changes; };
  list.OnChanging = [&](TStringList&) { ++changing; };
  list.Add("a");
  EXPECT_EQ(changes, 1);
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.BeginUpdate();
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(changes, 1);
  list.EndUpdate();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(changing, 2);
  list.BeginUpdate();
  list.EndUpdate();  // nothing changed: nothing announced
  EXPECT_EQ(changes, 2);
  list.SetText("x\ny\nz");  // one batch
  EXPECT_EQ(changes, 3);
}

TEST(StringList, IndexErrors) {
  TStringList list;
  list.Add("a");
  EXPECT_THROW(list.Get(1), EStringListError);
  EXPECT_THROW(list.Delete(-1), EStringListError);
  EXPECT_THROW(list.Insert(2, "x"), EStringListError);
  list.Insert(1, "b");
  EXPECT_EQ(list.Text(), "a\r\nb\r\n");
}

// ---------------------------------------------------------------------------
// Streams

TEST(Streams, ShortReadRaisesReadError) {
  const char data[] = "abcdef";
  TFixedMemoryStream stream(data, 6);
  char buffer[8] = {};
  stream.ReadBuffer(buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_THROW(stream.ReadBuffer(buffer, 3), EReadError);
  try {
    stream.SetPosition(4);
    stream.ReadBuffer(buffer, 3);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  EXPECT_THROW(stream.ReadBuffer(buffer, -1), EReadError);
  stream.SetPosition(0);
  stream.ReadBuffer(buffer, 0);
  // Fixed memory is read-only: a write is short and WriteBuffer raises.
  EXPECT_EQ(stream.Write("x", 1), 0);
  EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
  EXPECT_THROW(stream.Seek(-1, TSeekOrigin::Beginning), EStreamError);
  EXPECT_EQ(stream.Seek(-2, TSeekOrigin::End), 4);
  EXPECT_EQ(stream.Seek(10, TSeekOrigin::Current), 14);
  EXPECT_EQ(stream.Read(buffer, 1), 0);  // past the end
}

TEST(Streams, MemoryStreamGrowsAndCopies) {
  TMemoryStream stream;
  stream.WriteString("hello");
  EXPECT_EQ(stream.Size(), 5);
  stream.Seek(3, TSeekOrigin::End);
  stream.WriteString("!");
  EXPECT_EQ(stream.Size(), 9);
  EXPECT_EQ(std::string(static_cast<const char*>(stream.Memory()), 9), std::string("hello\0\0\0!", 9));
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
  stream.SetPosition(0);
  EXPECT_EQ(stream.ReadRemaining(), "he");

  std::string big(200000, 'q');
  big[123456] = 'Z';
  TFixedMemoryStream source(big.data(), static_cast<int64_t>(big.size()));
  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(source, 0), 200000);
  EXPECT_EQ(static_cast<const char*>(copy.Memory())[123456], 'Z');
  source.SetPosition(199990);
  EXPECT_THROW(copy.CopyFrom(source, 20), EReadError);
  copy.Clear();
  EXPECT_EQ(copy.Size(), 0);
  EXPECT_EQ(copy.Memory(), nullptr);
  EXPECT_THROW(copy.SetSize(int64_t{1} << 40), EOutOfMemory);
}

std::string TempFile(const char* name) { return velmora::test::TempPath(name); }

TEST(Streams, FileStreamRoundTripAndErrors) {
  std::string path = TempFile("stream.bin");
  {
    TFileStream out(path, fmCreate);
    out.WriteString("line1\r\nline2\r\n");
    out.SetSize(7);
    EXPECT_EQ(out.Size(), 7);
    out.Seek(0, TSeekOrigin::End);
    out.WriteString("end");
  }
  {
    TFileStream in(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(in.Size(), 10);
    EXPECT_EQ(in.ReadRemaining(), "line1\r\nend");
    char c;
    EXPECT_THROW(in.ReadBuffer(&c, 1), EReadError);
    EXPECT_EQ(in.Write("x", 1), 0);  // opened for reading
  }
  TStringList lines;
  lines.LoadFromFile(path);
  EXPECT_EQ(lines.Count(), 2);
  EXPECT_EQ(lines[1], "end");
  TMemoryStream memory;
  memory.LoadFromFile(path);
  EXPECT_EQ(memory.Size(), 10);
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(FileDelete(path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
  try {
    TFileStream(TempFile("no-such-dir/x.bin"), fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"", 0), 0u) << e.what();
  }
}

// ---------------------------------------------------------------------------
// Class registry

class TWidget : public TObject {
  VELMORA_CLASS(TWidget, TObject)
};
class TOtherWidget : public TObject {
  VELMORA_CLASS(TOtherWidget, TObject)
 public:
  explicit TOtherWidget(int) {}
};

TEST(ClassRegistry, RegisterFindAndCreate) {
  InitUnits();
  RegisterClass(TWidget::StaticClass());
  RegisterClass(TWidget::StaticClass());  // again: no effect
  RegisterClass(TOtherWidget::StaticClass());
  EXPECT_EQ(GetClass("twidget"), TWidget::StaticClass());
  EXPECT_EQ(GetClass("TNothing"), nullptr);
  EXPECT_THROW(FindClass("TNothing"), EClassNotFound);
  std::unique_ptr<TObject> made(CreateObjectOfClass("TWidget"));
  EXPECT_EQ(made->ClassName(), "TWidget");
  EXPECT_THROW(CreateObjectOfClass("TOtherWidget"), EInvalidOperation);
  UnRegisterClass(TWidget::StaticClass());
  EXPECT_EQ(GetClass("TWidget"), nullptr);
}

}  // namespace
