#include "platform/rtl/containers.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "platform/rtl/classesconsts.h"
#include "platform/rtl/locale.h"
#include "platform/rtl/stream.h"
#include "platform/rtl/strings.h"

namespace host {

// ---------------------------------------------------------------------------------------------
// TList

TList::~TList() {
  // Descendants that own their entries free them in their own destructors: Notify is no
  // longer theirs here.
  FItems.clear();
}

void TList::Error(const char* Message, std::int64_t Data) {
  throw EListError(Format(Message, {static_cast<long long>(Data)}));
}

void TList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) Error(rtlconsts::SListIndexError, Index);
}

int TList::Add(void* Item) {
  int index = Count();
  FItems.push_back(Item);
  if (Item != nullptr) Notify(Item, lnAdded);
  return index;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) Error(rtlconsts::SListIndexError, Index);
  FItems.insert(FItems.begin() + Index, Item);
  if (Item != nullptr) Notify(Item, lnAdded);
}

void TList::Delete(int Index) {
  CheckIndex(Index);
  void* item = FItems[Index];
  FItems.erase(FItems.begin() + Index);
  if (item != nullptr) Notify(item, lnDeleted);
}

int TList::Remove(void* Item) {
  int index = IndexOf(Item);
  if (index >= 0) Delete(index);
  return index;
}

void* TList::Extract(void* Item) {
  int index = IndexOf(Item);
  if (index < 0) return nullptr;
  FItems.erase(FItems.begin() + index);
  if (Item != nullptr) Notify(Item, lnExtracted);
  return Item;
}

void TList::Clear() {
  SetCount(0);
  FItems.shrink_to_fit();
}

int TList::IndexOf(const void* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FItems[Index1], FItems[Index2]);
}

void TList::Move(int CurIndex, int NewIndex) {
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  auto first = FItems.begin();
  if (CurIndex < NewIndex) {
    std::rotate(first + CurIndex, first + CurIndex + 1, first + NewIndex + 1);
  } else if (CurIndex > NewIndex) {
    std::rotate(first + NewIndex, first + CurIndex, first + CurIndex + 1);
  }
}

void TList::Pack() {
  // Only nullptr entries go, and those are never announced.
  FItems.erase(std::remove(FItems.begin(), FItems.end(), nullptr), FItems.end());
}

void TList::Sort(const TListSortCompare& Compare) {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [&](void* a, void* b) { return Compare(a, b) < 0; });
}

void TList::SetCount(int NewCount) {
  if (NewCount < 0) Error(rtlconsts::SListCountError, NewCount);
  if (NewCount > Count()) {
    FItems.resize(NewCount, nullptr);
  } else {
    // From the end, one at a time, so that each deleted entry is announced.
    while (Count() > NewCount) Delete(Count() - 1);
  }
}

void TList::SetCapacity(int NewCapacity) {
  if (NewCapacity < Count()) Error(rtlconsts::SListCapacityError, NewCapacity);
  if (NewCapacity > Capacity()) {
    FItems.reserve(NewCapacity);
  } else {
    FItems.shrink_to_fit();
  }
}

void* TList::Items(int Index) const {
  CheckIndex(Index);
  return FItems[Index];
}

void TList::Put(int Index, void* Item) {
  CheckIndex(Index);
  void* old = FItems[Index];
  FItems[Index] = Item;
  if (old != nullptr) Notify(old, lnDeleted);
  if (Item != nullptr) Notify(Item, lnAdded);
}

// ---------------------------------------------------------------------------------------------
// TStrings

void TStrings::Error(const char* Message, std::int64_t Data) {
  throw EStringListError(Format(Message, {static_cast<long long>(Data)}));
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* object = GetObject(Index);
  BeginUpdate();
  try {
    Delete(Index);
    InsertObject(Index, S, object);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TObject* TStrings::GetObject(int /*Index*/) const { return nullptr; }

void TStrings::PutObject(int /*Index*/, TObject* /*AObject*/) {}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

int TStrings::Add(const std::string& S) {
  int index = Count();
  Insert(index, S);
  return index;
}

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  int index = Add(S);
  PutObject(index, AObject);
  return index;
}

int TStrings::AddPair(const std::string& Name, const std::string& Value) {
  return Add(Name + FNameValueSeparator + Value);
}

int TStrings::IndexOf(std::string_view S) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    if (CompareStrings(Get(i), S) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* AObject) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    if (GetObject(i) == AObject) return i;
  }
  return -1;
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  try {
    std::string s1 = Get(Index1);
    TObject* o1 = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, s1);
    PutObject(Index2, o1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  try {
    std::string s = Get(CurIndex);
    TObject* o = GetObject(CurIndex);
    if (NewIndex < 0 || NewIndex >= Count()) Error(rtlconsts::SListIndexError, NewIndex);
    Delete(CurIndex);
    InsertObject(NewIndex, s, o);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::AddStrings(const TStrings* Strings) {
  if (Strings == nullptr) return;
  // Adding a list to itself must not chase its own growing end.
  int n = Strings->Count();
  BeginUpdate();
  try {
    for (int i = 0; i < n; ++i) AddObject(Strings->Get(i), Strings->GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

bool TStrings::Equals(const TStrings* Strings) const {
  if (Strings == nullptr || Strings->Count() != Count()) return false;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (Get(i) != Strings->Get(i)) return false;
  }
  return true;
}

void TStrings::Assign(const TPersistent* Source) {
  if (const auto* source = dynamic_cast<const TStrings*>(Source)) {
    if (source == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(source);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

int TStrings::CompareStrings(std::string_view S1, std::string_view S2) const {
  return AnsiCompareText(S1, S2);
}

std::string TStrings::Names(int Index) const {
  std::string s = Get(Index);
  std::size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int Index) const {
  std::string s = Get(Index);
  std::size_t p = s.find(FNameValueSeparator);
  // A line without a separator has no value (its whole text is not a name either).
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStrings::IndexOfName(std::string_view Name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    std::string s = Get(i);
    std::size_t p = s.find(FNameValueSeparator);
    if (p != std::string::npos && CompareStrings(std::string_view(s).substr(0, p), Name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view Name) const {
  int index = IndexOfName(Name);
  return index < 0 ? std::string() : ValueFromIndex(index);
}

namespace {

bool IsSortedList(const TStrings* list) {
  const auto* sl = dynamic_cast<const TStringList*>(list);
  return sl != nullptr && sl->Sorted();
}

}  // namespace

void TStrings::ReplaceLine(int Index, const std::string& Line) {
  if (IsSortedList(this)) {
    // The new text may belong elsewhere in the order: take the line out and add it again.
    // If the list refuses the new text (a duplicate), the old line goes back in.
    TObject* object = GetObject(Index);
    std::string old = Get(Index);
    BeginUpdate();
    try {
      Delete(Index);
      try {
        AddObject(Line, object);
      } catch (...) {
        AddObject(old, object);
        throw;
      }
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  } else {
    Put(Index, Line);
  }
}

void TStrings::SetValueFromIndex(int Index, const std::string& Value) {
  if (Value.empty()) {
    Delete(Index);
  } else {
    ReplaceLine(Index, Names(Index) + FNameValueSeparator + Value);
  }
}

void TStrings::SetValues(std::string_view Name, const std::string& Value) {
  int index = IndexOfName(Name);
  if (Value.empty()) {
    if (index >= 0) Delete(index);
  } else if (index >= 0) {
    ReplaceLine(index, std::string(Name) + FNameValueSeparator + Value);
  } else {
    Add(std::string(Name) + FNameValueSeparator + Value);
  }
}

std::string TStrings::Text() const {
  std::string result;
  for (int i = 0, n = Count(); i < n; ++i) {
    result += Get(i);
    result += FLineBreak;
  }
  return result;
}

void TStrings::SetText(std::string_view Value) {
  BeginUpdate();
  try {
    Clear();
    std::size_t p = 0;
    while (p < Value.size()) {
      std::size_t start = p;
      while (p < Value.size() && Value[p] != '\r' && Value[p] != '\n') ++p;
      Add(std::string(Value.substr(start, p - start)));
      if (p < Value.size() && Value[p] == '\r') ++p;
      if (p < Value.size() && Value[p] == '\n') ++p;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= ' '; }

std::string QuotedStr(const std::string& s, char quote) {
  std::string result(1, quote);
  for (char c : s) {
    result += c;
    if (c == quote) result += c;
  }
  result += quote;
  return result;
}

std::string JoinDelimited(const TStrings& list, char delimiter, char quote, bool strict) {
  int n = list.Count();
  // A single empty entry must not read back as no entry at all.
  if (n == 1 && list.Get(0).empty()) return std::string(2, quote);
  std::string result;
  for (int i = 0; i < n; ++i) {
    std::string s = list.Get(i);
    bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
      return c == '\0' || c == quote || c == delimiter || (!strict && IsBlank(c));
    });
    if (i > 0) result += delimiter;
    result += needsQuotes ? QuotedStr(s, quote) : s;
  }
  return result;
}

void SplitDelimited(TStrings& list, std::string_view value, char delimiter, char quote, bool strict) {
  std::size_t p = 0;
  const std::size_t n = value.size();
  auto skipBlanks = [&] {
    if (!strict) {
      while (p < n && IsBlank(value[p])) ++p;
    }
  };
  skipBlanks();
  while (p < n) {
    std::string s;
    if (value[p] == quote) {
      // A quoted entry: a doubled quote stands for one; an unterminated one runs to the end.
      ++p;
      while (p < n) {
        if (value[p] == quote) {
          if (p + 1 < n && value[p + 1] == quote) {
            s += quote;
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        s += value[p++];
      }
    } else {
      std::size_t start = p;
      while (p < n && value[p] != delimiter && (strict || static_cast<unsigned char>(value[p]) > ' ')) ++p;
      s.assign(value.substr(start, p - start));
    }
    list.Add(s);
    skipBlanks();
    if (p < n && value[p] == delimiter) {
      // A delimiter at the very end stands for a last, empty entry.
      if (p + 1 == n) list.Add(std::string());
      ++p;
      skipBlanks();
    }
  }
}

}  // namespace

std::string TStrings::DelimitedText() const {
  return JoinDelimited(*this, FDelimiter, FQuoteChar, FStrictDelimiter);
}

void TStrings::SetDelimitedText(std::string_view Value) {
  BeginUpdate();
  try {
    Clear();
    SplitDelimited(*this, Value, FDelimiter, FQuoteChar, FStrictDelimiter);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::CommaText() const { return JoinDelimited(*this, ',', '"', false); }

void TStrings::SetCommaText(std::string_view Value) {
  BeginUpdate();
  try {
    Clear();
    SplitDelimited(*this, Value, ',', '"', false);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::BeginUpdate() {
  // The state change may be refused (an OnChanging handler raising): count only afterwards.
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount == 0) return;
  --FUpdateCount;
  if (FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::LoadFromStream(TStream* Stream) {
  std::int64_t size = Stream->Size() - Stream->Position();
  std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
  if (!text.empty()) Stream->ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  std::string_view view(text);
  if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
  SetText(view);
}

void TStrings::SaveToStream(TStream* Stream) const {
  std::string text = Text();
  Stream->WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream stream(FileName, fmCreate);
  SaveToStream(&stream);
}

// ---------------------------------------------------------------------------------------------
// TStringList

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) Error(rtlconsts::SListIndexError, Index);
}

void TStringList::CheckNotSorted() const {
  if (FSorted) Error(rtlconsts::SSortedListError, 0);
}

std::string TStringList::Get(int Index) const {
  CheckIndex(Index);
  return FList[Index].FString;
}

void TStringList::Put(int Index, const std::string& S) {
  CheckNotSorted();
  CheckIndex(Index);
  Changing();
  FList[Index].FString = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return FList[Index].FObject;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  FList[Index].FObject = AObject;
  Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
  CheckNotSorted();
  if (Index < 0 || Index > Count()) Error(rtlconsts::SListIndexError, Index);
  InsertItem(Index, S, AObject);
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, Item{S, AObject});
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  FList.erase(FList.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  FList.shrink_to_fit();
  Changed();
}

int TStringList::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  int index = Count();
  if (FSorted && Find(S, index)) {
    switch (FDuplicates) {
      case dupIgnore:
        return index;
      case dupError:
        Error(rtlconsts::SDuplicateString, 0);
      case dupAccept:
        break;
    }
  }
  InsertItem(index, S, AObject);
  return index;
}

int TStringList::IndexOf(std::string_view S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int index = 0;
  return Find(S, index) ? index : -1;
}

bool TStringList::Find(std::string_view S, int& Index) const {
  if (!FSorted) {
    // Without an order there is nothing to bisect; a plain search keeps the answer right.
    Index = TStrings::IndexOf(S);
    if (Index >= 0) return true;
    Index = Count();
    return false;
  }
  // Lower bound: with duplicates, the first of the equal entries.
  int low = 0;
  int high = Count() - 1;
  bool found = false;
  while (low <= high) {
    int mid = low + (high - low) / 2;
    int c = CompareStrings(FList[mid].FString, S);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) found = true;
    }
  }
  Index = low;
  return found;
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckNotSorted();
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(FList[Index1], FList[Index2]);
  Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
  CheckNotSorted();
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  if (CurIndex == NewIndex) return;
  Changing();
  auto first = FList.begin();
  if (CurIndex < NewIndex) {
    std::rotate(first + CurIndex, first + CurIndex + 1, first + NewIndex + 1);
  } else {
    std::rotate(first + NewIndex, first + CurIndex, first + CurIndex + 1);
  }
  Changed();
}

void TStringList::SortItems(const std::function<bool(const Item&, const Item&)>& Less) {
  if (FList.size() < 2) return;
  Changing();
  std::stable_sort(FList.begin(), FList.end(), Less);
  Changed();
}

void TStringList::Sort() {
  SortItems([this](const Item& a, const Item& b) { return CompareStrings(a.FString, b.FString) < 0; });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  CheckNotSorted();
  if (FList.size() < 2) return;
  // The comparison speaks of indexes into the list; sort a permutation and apply it.
  std::vector<int> order(FList.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return Compare(this, a, b) < 0; });
  Changing();
  std::vector<Item> sorted;
  sorted.reserve(FList.size());
  for (int i : order) sorted.push_back(std::move(FList[i]));
  FList = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (Value == FCaseSensitive) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

void TStringList::SetCapacity(int Value) {
  if (Value < Count()) Error(rtlconsts::SListCapacityError, Value);
  FList.reserve(Value);
}

int TStringList::CompareStrings(std::string_view S1, std::string_view S2) const {
  return FCaseSensitive ? AnsiCompareStr(S1, S2) : AnsiCompareText(S1, S2);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && FOnChanging) {
    // A copy: the handler may replace itself.
    TNotifyEvent handler = FOnChanging;
    handler(this);
  }
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && FOnChange) {
    TNotifyEvent handler = FOnChange;
    handler(this);
  }
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    Changing();
  } else {
    Changed();
  }
}

// ---------------------------------------------------------------------------------------------
// TBits

void TBits::Error() { throw EBitsError(rtlconsts::SBitsIndexError); }

void TBits::SetSize(int Value) {
  if (Value < 0) Error();
  FBits.resize(static_cast<std::size_t>(Value), false);
}

bool TBits::Bits(int Index) const {
  if (Index < 0 || Index >= Size()) Error();
  return FBits[Index];
}

void TBits::SetBits(int Index, bool Value) {
  if (Index < 0) Error();
  if (Index >= Size()) {
    if (Index == std::numeric_limits<int>::max()) Error();
    SetSize(Index + 1);
  }
  FBits[Index] = Value;
}

int TBits::OpenBit() const {
  auto it = std::find(FBits.begin(), FBits.end(), false);
  return static_cast<int>(it - FBits.begin());
}

// ---------------------------------------------------------------------------------------------
// TByteArray

struct TByteArray::Block {
  std::atomic<long> Refs{1};
  std::vector<std::uint8_t> Bytes;
};

TByteArray::Block* TByteArray::NewBlock(std::size_t Length) {
  auto block = std::make_unique<Block>();
  block->Bytes.resize(Length, 0);
  return block.release();
}

void TByteArray::AddRef(Block* b) noexcept {
  if (b != nullptr) b->Refs.fetch_add(1, std::memory_order_relaxed);
}

void TByteArray::DropRef(Block* b) noexcept {
  if (b != nullptr && b->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    // The last reference: the block's owner is this very count.
    std::unique_ptr<Block> last(b);
  }
}

TByteArray::TByteArray(std::size_t Length) : FBlock(Length > 0 ? NewBlock(Length) : nullptr) {}

TByteArray::TByteArray(const void* Data, std::size_t Length) : TByteArray(Length) {
  if (Length > 0) std::memcpy(FBlock->Bytes.data(), Data, Length);
}

TByteArray::TByteArray(const TByteArray& Other) noexcept : FBlock(Other.FBlock) { AddRef(FBlock); }

TByteArray::TByteArray(TByteArray&& Other) noexcept : FBlock(Other.FBlock) { Other.FBlock = nullptr; }

TByteArray& TByteArray::operator=(const TByteArray& Other) noexcept {
  if (FBlock != Other.FBlock) {
    AddRef(Other.FBlock);
    DropRef(FBlock);
    FBlock = Other.FBlock;
  }
  return *this;
}

TByteArray& TByteArray::operator=(TByteArray&& Other) noexcept {
  if (this != &Other) {
    DropRef(FBlock);
    FBlock = Other.FBlock;
    Other.FBlock = nullptr;
  }
  return *this;
}

TByteArray::~TByteArray() { DropRef(FBlock); }

std::size_t TByteArray::Length() const noexcept { return FBlock != nullptr ? FBlock->Bytes.size() : 0; }

void TByteArray::SetLength(std::size_t NewLength) {
  if (NewLength == 0) {
    DropRef(FBlock);
    FBlock = nullptr;
    return;
  }
  if (FBlock != nullptr && FBlock->Refs.load(std::memory_order_acquire) == 1) {
    FBlock->Bytes.resize(NewLength, 0);
    return;
  }
  Block* block = NewBlock(NewLength);
  if (FBlock != nullptr) {
    std::memcpy(block->Bytes.data(), FBlock->Bytes.data(), std::min(NewLength, FBlock->Bytes.size()));
  }
  DropRef(FBlock);
  FBlock = block;
}

std::uint8_t* TByteArray::Data() noexcept { return FBlock != nullptr ? FBlock->Bytes.data() : nullptr; }

const std::uint8_t* TByteArray::Data() const noexcept {
  return FBlock != nullptr ? FBlock->Bytes.data() : nullptr;
}

std::uint8_t& TByteArray::operator[](std::size_t Index) {
  if (Index >= Length()) RangeError(Index);
  return FBlock->Bytes[Index];
}

std::uint8_t TByteArray::operator[](std::size_t Index) const {
  if (Index >= Length()) RangeError(Index);
  return FBlock->Bytes[Index];
}

void TByteArray::RangeError(std::size_t Index) {
  throw ERangeError(Format(rtlconsts::SByteIndexError, {static_cast<unsigned long long>(Index)}));
}

TByteArray TByteArray::Copy() const { return TByteArray(Data(), Length()); }

long TByteArray::RefCount() const noexcept {
  return FBlock != nullptr ? FBlock->Refs.load(std::memory_order_acquire) : 0;
}

bool TByteArray::operator==(const TByteArray& Other) const noexcept {
  return Length() == Other.Length() && (Length() == 0 || std::memcmp(Data(), Other.Data(), Length()) == 0);
}

void TByteArray::Store(void* Slot, const TByteArray& Value) noexcept {
  AddRef(Value.FBlock);
  std::memcpy(Slot, &Value.FBlock, sizeof(Block*));
}

TByteArray TByteArray::Load(const void* Slot) noexcept {
  Block* block = nullptr;
  std::memcpy(&block, Slot, sizeof(Block*));
  AddRef(block);
  return TByteArray(block);
}

void TByteArray::Release(void* Slot) noexcept {
  Block* block = nullptr;
  std::memcpy(&block, Slot, sizeof(Block*));
  DropRef(block);
  std::memset(Slot, 0, sizeof(Block*));
}

void TByteArray::CopySlot(void* Dest, const void* Source) noexcept {
  Block* block = nullptr;
  std::memcpy(&block, Source, sizeof(Block*));
  AddRef(block);
  std::memcpy(Dest, &block, sizeof(Block*));
}

}  // namespace host
