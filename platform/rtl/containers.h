// Lists of the run-time library: TList (pointers), TStrings/TStringList (text lines with
// objects, NAME=value access, sorting), TBits (a growable bit set) and TByteArray (a shared,
// reference-counted byte array that can live in raw record-buffer memory).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/object.h"

namespace host {

class TStream;

// What happened to an entry of a TList; descendants that own their entries react in Notify.
enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// A list of untyped pointers. It owns nothing: a descendant that owns its entries frees them
// in Notify (lnDeleted) or in its own destructor.
class TList : public TObject {
 public:
  using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() override;

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Deletes the first entry equal to Item; returns its former index or -1.
  int Remove(void* Item);
  // Takes the first entry equal to Item out of the list without deleting it; returns it, or
  // nullptr when it is not in the list.
  void* Extract(void* Item);
  virtual void Clear();
  int IndexOf(const void* Item) const;
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  // Removes every nullptr entry.
  void Pack();
  // Stable: entries that compare equal keep their order.
  void Sort(const TListSortCompare& Compare);

  int Count() const { return static_cast<int>(FItems.size()); }
  // Growing fills with nullptr; shrinking deletes the entries beyond the new count.
  void SetCount(int NewCount);
  int Capacity() const { return static_cast<int>(FItems.capacity()); }
  void SetCapacity(int NewCapacity);

  void* Items(int Index) const;
  void* Get(int Index) const { return Items(Index); }
  void Put(int Index, void* Item);
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }

  // Direct access for loops that must not pay the bound check twice.
  void* const* List() const { return FItems.data(); }

 protected:
  virtual void Notify(void* /*Ptr*/, TListNotification /*Action*/) {}
  [[noreturn]] static void Error(const char* Message, std::int64_t Data);

 private:
  void CheckIndex(int Index) const;
  std::vector<void*> FItems;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// An abstract list of text lines, each with an optional object (not owned).
//
// Lines of the form NAME=value are read and written by name through Names, Values,
// ValueFromIndex and IndexOfName. Text joins the lines with LineBreak ("\r\n" unless set),
// putting one after the last line too; reading text accepts "\r\n", "\n" and "\r".
// BeginUpdate/EndUpdate bracket a series of changes so that OnChanging fires once at the start
// and OnChange once at the end.
class TStrings : public TPersistent {
 public:
  TStrings() = default;
  TStrings(const TStrings&) = delete;
  TStrings& operator=(const TStrings&) = delete;
  ~TStrings() override = default;

  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S);
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* AObject);
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* AObject);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* AObject);
  virtual int IndexOf(std::string_view S) const;
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);

  std::string Strings(int Index) const { return Get(Index); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  int AddPair(const std::string& Name, const std::string& Value);
  void Append(const std::string& S) { Add(S); }
  void AddStrings(const TStrings* Strings);
  int IndexOfObject(const TObject* AObject) const;
  bool Equals(const TStrings* Strings) const;

  // NAME=value access. Names compare like the list's entries (CompareStrings).
  std::string Names(int Index) const;
  std::string ValueFromIndex(int Index) const;
  void SetValueFromIndex(int Index, const std::string& Value);
  int IndexOfName(std::string_view Name) const;
  std::string Values(std::string_view Name) const;
  // Replaces the value of the first line named Name, or adds a line. An empty Value deletes
  // the line ("NAME=" is never written); to keep such a line, set its text directly.
  void SetValues(std::string_view Name, const std::string& Value);

  std::string Text() const;
  virtual void SetText(std::string_view Value);
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);
  // Entries joined by Delimiter; an entry holding a blank or control character, the
  // delimiter or the quote character is quoted with QuoteChar, inner quotes doubled.
  std::string DelimitedText() const;
  void SetDelimitedText(std::string_view Value);

  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char Value) { FDelimiter = Value; }
  char QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char Value) { FQuoteChar = Value; }
  char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char Value) { FNameValueSeparator = Value; }
  // With StrictDelimiter only the delimiter separates entries; otherwise blanks do too.
  bool StrictDelimiter() const { return FStrictDelimiter; }
  void SetStrictDelimiter(bool Value) { FStrictDelimiter = Value; }
  const std::string& LineBreak() const { return FLineBreak; }
  void SetLineBreak(std::string Value) { FLineBreak = std::move(Value); }

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // UTF-8 text; a leading byte-order mark is skipped when loading.
  virtual void LoadFromStream(TStream* Stream);
  virtual void SaveToStream(TStream* Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  // Copies the lines and their objects of another TStrings; other sources go to AssignTo.
  void Assign(const TPersistent* Source) override;
  using TPersistent::Assign;

  // Compares two entries the way this list does (IndexOf, IndexOfName, Find).
  virtual int CompareStrings(std::string_view S1, std::string_view S2) const;

 protected:
  // Called around every change while no update is in progress.
  virtual void Changing() {}
  virtual void Changed() {}
  virtual void SetUpdateState(bool /*Updating*/) {}
  [[noreturn]] static void Error(const char* Message, std::int64_t Data);

 private:
  // Gives line Index the text Line, keeping a sorted list in order.
  void ReplaceLine(int Index, const std::string& Line);

  int FUpdateCount = 0;
  char FDelimiter = ',';
  char FQuoteChar = '"';
  char FNameValueSeparator = '=';
  bool FStrictDelimiter = false;
  std::string FLineBreak = "\r\n";
};

// The concrete string list: lines in a vector, optionally kept sorted.
//
// Sorted lists keep their order through Add; Insert, Put, Exchange and Move, which would break
// it, raise EStringListError. Duplicates decides what Add does with a line that is already in
// a sorted list: dupIgnore returns the existing index, dupAccept adds it, dupError raises.
// Comparison ignores case unless CaseSensitive (both by the user locale's collation).
class TStringList : public TStrings {
 public:
  using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;

  TStringList() = default;
  ~TStringList() override = default;

  int Count() const override { return static_cast<int>(FList.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* AObject) override;
  void Delete(int Index) override;
  void Clear() override;
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* AObject) override;
  int IndexOf(std::string_view S) const override;
  void Exchange(int Index1, int Index2) override;
  void Move(int CurIndex, int NewIndex) override;

  // Binary search of a sorted list: true when S is found; Index is then the first entry equal
  // to S, otherwise the position where S would be inserted.
  virtual bool Find(std::string_view S, int& Index) const;
  virtual void Sort();
  // Sorts by Compare (stable); the list must not be Sorted.
  virtual void CustomSort(const TStringListSortCompare& Compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);
  int Capacity() const { return static_cast<int>(FList.capacity()); }
  void SetCapacity(int Value);

  int CompareStrings(std::string_view S1, std::string_view S2) const override;

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TNotifyEvent& OnChanging() const { return FOnChanging; }
  void SetOnChanging(TNotifyEvent Value) { FOnChanging = std::move(Value); }

 protected:
  void Changing() override;
  void Changed() override;
  void SetUpdateState(bool Updating) override;
  // Inserts without the sorted-list check: the caller has chosen the position.
  virtual void InsertItem(int Index, const std::string& S, TObject* AObject);

 private:
  struct Item {
    std::string FString;
    TObject* FObject = nullptr;
  };
  void CheckIndex(int Index) const;
  void CheckNotSorted() const;
  void SortItems(const std::function<bool(const Item&, const Item&)>& Less);

  std::vector<Item> FList;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = dupIgnore;
  TNotifyEvent FOnChange;
  TNotifyEvent FOnChanging;
};

// A growable set of bits. Reading beyond Size raises EBitsError; writing beyond Size grows it.
class TBits : public TObject {
 public:
  int Size() const { return static_cast<int>(FBits.size()); }
  void SetSize(int Value);
  bool Bits(int Index) const;
  void SetBits(int Index, bool Value);
  // The lowest clear bit, or Size when every bit is set.
  int OpenBit() const;

 private:
  [[noreturn]] static void Error();
  std::vector<bool> FBits;
};

// A shared, reference-counted byte array.
//
// Copies of a TByteArray share the same bytes: a write through one is seen by all, as with the
// host's dynamic arrays. SetLength gives this handle bytes of its own when they are shared.
// To keep a reference inside raw memory (a record-buffer slot), Store puts one counted
// reference there, Load makes a new handle from it and Release drops it; copying the raw slot
// byte by byte does not count a reference, so raw slots are copied only through CopySlot.
class TByteArray {
 public:
  TByteArray() noexcept = default;
  explicit TByteArray(std::size_t Length);
  TByteArray(const void* Data, std::size_t Length);
  TByteArray(const TByteArray& Other) noexcept;
  TByteArray(TByteArray&& Other) noexcept;
  TByteArray& operator=(const TByteArray& Other) noexcept;
  TByteArray& operator=(TByteArray&& Other) noexcept;
  ~TByteArray();

  std::size_t Length() const noexcept;
  bool Empty() const noexcept { return Length() == 0; }
  // Resizes, keeping the first bytes and zero-filling new ones.
  void SetLength(std::size_t NewLength);
  std::uint8_t* Data() noexcept;
  const std::uint8_t* Data() const noexcept;
  std::uint8_t& operator[](std::size_t Index);
  std::uint8_t operator[](std::size_t Index) const;
  // A handle to a new array with the same bytes.
  TByteArray Copy() const;
  // Number of handles (and stored slot references) sharing the bytes; 0 for an empty array.
  long RefCount() const noexcept;
  bool operator==(const TByteArray& Other) const noexcept;

  // The size of a slot that holds a stored reference.
  static constexpr std::size_t SlotSize = sizeof(void*);
  // Writes a counted reference to Value into Slot, replacing nothing: a slot that held a
  // reference must be released first.
  static void Store(void* Slot, const TByteArray& Value) noexcept;
  // A handle to the array a slot refers to (empty for a zeroed slot).
  static TByteArray Load(const void* Slot) noexcept;
  // Drops the reference a slot holds and zeroes the slot.
  static void Release(void* Slot) noexcept;
  // Copies a slot's reference into another slot (which must not hold one), counting it.
  static void CopySlot(void* Dest, const void* Source) noexcept;

 private:
  struct Block;
  explicit TByteArray(Block* b) noexcept : FBlock(b) {}
  [[noreturn]] static void RangeError(std::size_t Index);
  static Block* NewBlock(std::size_t Length);
  static void AddRef(Block* b) noexcept;
  static void DropRef(Block* b) noexcept;
  Block* FBlock = nullptr;
};

}  // namespace host
