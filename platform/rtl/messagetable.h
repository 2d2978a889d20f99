// TMessageTable: a table of named, translatable messages.
//
// The built-in texts sit in a constexpr array whose rows follow the order of the message ids
// (so a lookup is an index); translations are process-wide and may be installed while other
// threads read texts. Message is a small value class constructible from its id, with Id().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace host {

// The translations installed for one message table, by message id.
class TMessageTexts {
 public:
  std::optional<std::string> Find(std::uint16_t Id) const;
  void Set(std::uint16_t Id, std::string Text);
  void Reset(std::uint16_t Id);
  void ResetAll();

 private:
  mutable std::shared_mutex FLock;
  std::unordered_map<std::uint16_t, std::string> FTexts;
};

template <class Message, std::size_t N>
class TMessageTable {
 public:
  using Id = decltype(std::declval<const Message&>().Id());
  struct Row {
    Id id;
    std::string_view name;
    std::string_view text;
  };

  constexpr explicit TMessageTable(const std::array<Row, N>& Rows) : FRows(Rows) {}

  // Whether every row sits at the position its id names.
  constexpr bool FollowsIds() const {
    for (std::size_t i = 0; i < N; ++i) {
      if (static_cast<std::size_t>(FRows[i].id) != i) return false;
    }
    return true;
  }

  std::string_view Name(Id MessageId) const noexcept { return RowOf(MessageId).name; }
  std::string_view DefaultText(Id MessageId) const noexcept { return RowOf(MessageId).text; }
  // The translation when one is installed, the built-in text otherwise.
  std::string Text(Id MessageId) const {
    std::optional<std::string> translated = Texts().Find(Key(MessageId));
    return translated ? std::move(*translated) : std::string(RowOf(MessageId).text);
  }

  // The message at a position of the table; none outside it.
  std::optional<Message> At(std::size_t Index) const noexcept {
    if (Index >= N) return std::nullopt;
    return Message(FRows[Index].id);
  }
  // The message of that exact name (case-sensitive), or none.
  std::optional<Message> Find(std::string_view MessageName) const noexcept {
    for (const Row& row : FRows) {
      if (row.name == MessageName) return Message(row.id);
    }
    return std::nullopt;
  }

  void SetText(Message M, std::string Text) const { Texts().Set(Key(M.Id()), std::move(Text)); }
  // False (and nothing changed) when no message has that name.
  bool SetText(std::string_view MessageName, std::string Text) const {
    std::optional<Message> found = Find(MessageName);
    if (!found) return false;
    SetText(*found, std::move(Text));
    return true;
  }
  void ResetText(Message M) const { Texts().Reset(Key(M.Id())); }
  void ResetTexts() const { Texts().ResetAll(); }

 private:
  static std::uint16_t Key(Id MessageId) noexcept { return static_cast<std::uint16_t>(MessageId); }
  const Row& RowOf(Id MessageId) const noexcept { return FRows[static_cast<std::size_t>(MessageId)]; }
  // One set of translations per table.
  static TMessageTexts& Texts() {
    static TMessageTexts texts;
    return texts;
  }

  std::array<Row, N> FRows;
};

}  // namespace host
