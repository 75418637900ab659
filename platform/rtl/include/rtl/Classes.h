// String lists with Name=Value access and change notices, the notify-event
// type, and (through Streams.h) the byte streams.
//
// TStrings is the list interface; TStringList is the list that holds its
// lines (and an optional non-owning object pointer per line). Every change
// made through the list - Add, Insert, Delete, Clear, assigning a line, Text,
// Values, Assign - is announced: OnChanging runs before the change and may
// raise to prevent it, OnChange runs after it. Between BeginUpdate and the
// matching EndUpdate no per-change notices run: BeginUpdate sends one
// OnChanging and the last EndUpdate one OnChange, so a block of changes gives
// a single notice.
//
// Names (the text before the first "=") are matched case-insensitively,
// Windows-1252 letters included. Setting a name to an empty value removes
// its line; reading a name that has no line gives the empty text. Text joins
// the lines with CR LF after each line.
//
// Lists are not thread-safe. Objects attached to lines are not owned.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Streams.h"
#include "rtl/SysUtils.h"

namespace rtl {

using TNotifyEvent = std::function<void(TObject* sender)>;

// Index out of range, or Insert on a sorted list, or a refused duplicate.
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStrings : public TObject {
 public:
  ~TStrings() override = default;

  virtual int Count() const = 0;
  // Raise EStringListError "List index out of bounds (<index>)" for a bad
  // index.
  virtual const std::string& Strings(int index) const = 0;
  virtual void SetStrings(int index, std::string_view text) = 0;
  virtual TObject* Objects(int index) const = 0;
  virtual void SetObjects(int index, TObject* object) = 0;
  virtual void Insert(int index, std::string_view text) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  // Appends (or, in a sorted list, inserts in order); returns the index.
  virtual int Add(std::string_view text);
  int AddObject(std::string_view text, TObject* object);
  void AddStrings(const TStrings& other);
  // Replaces the lines (and objects) with those of `other`, as one update.
  virtual void Assign(const TStrings& other);

  // Index of the first line equal to `text` (case-insensitive), or -1.
  virtual int IndexOf(std::string_view text) const;
  // Index of the first line whose name matches (case-insensitive), or -1.
  int IndexOfName(std::string_view name) const;
  int IndexOfObject(const TObject* object) const;

  // Name of line `index`: the text before the first "=", or "" when the line
  // has none.
  std::string Names(int index) const;
  // Text after the first "=" of line `index`, "" when the line has none.
  std::string ValueFromIndex(int index) const;
  std::string Values(std::string_view name) const;
  // Sets name=value (appending a line when the name is new); an empty value
  // deletes the name's line.
  void SetValues(std::string_view name, std::string_view value);

  // The lines, each followed by CR LF.
  std::string Text() const;
  // Replaces the lines, as one update; lines end at CR LF, LF or CR, and a
  // final line break does not start an empty line.
  void SetText(std::string_view text);
  // Lines separated by commas; a line holding a blank, comma or double quote
  // (or an empty line) is double-quoted with inner quotes doubled.
  std::string CommaText() const;
  // Reads that form back, as one update; unquoted items also end at blanks.
  void SetCommaText(std::string_view text);

  bool Equals(const TStrings& other) const;

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

 protected:
  // Called with true by the first BeginUpdate, false by the last EndUpdate.
  virtual void SetUpdateState(bool /*updating*/) {}
  // Bounds check shared by the implementations.
  void CheckIndex(int index, int limit) const;

 private:
  // Clears the list and has `fill` add the new lines, as one update.
  template <typename Fill>
  void ReplaceLines(Fill&& fill);

  int update_count_ = 0;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  TStringList() = default;
  TStringList(const TStringList& other);
  TStringList& operator=(const TStringList& other);
  ~TStringList() override = default;

  int Count() const override { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const override;
  void SetStrings(int index, std::string_view text) override;
  TObject* Objects(int index) const override;
  void SetObjects(int index, TObject* object) override;
  void Insert(int index, std::string_view text) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(std::string_view text) override;
  int IndexOf(std::string_view text) const override;

  // Sorted lists keep their lines in CompareText order (CompareStr when
  // case-sensitive); Add then inserts in place and honours Duplicates,
  // Insert raises EStringListError.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
  bool CaseSensitive() const { return case_sensitive_; }
  void SetCaseSensitive(bool case_sensitive);
  void Sort();
  // Binary search of a sorted list: true when found, `index` the position of
  // the match or where it would go.
  bool Find(std::string_view text, int& index) const;

  const TNotifyEvent& OnChange() const { return on_change_; }
  void SetOnChange(TNotifyEvent handler) { on_change_ = std::move(handler); }
  const TNotifyEvent& OnChanging() const { return on_changing_; }
  void SetOnChanging(TNotifyEvent handler) { on_changing_ = std::move(handler); }

 protected:
  void SetUpdateState(bool updating) override;
  // Run the notices unless an update is in progress.
  virtual void Changing();
  virtual void Changed();

 private:
  struct Item {
    std::string text;
    TObject* object = nullptr;
  };
  int CompareStrings(std::string_view a, std::string_view b) const;
  void InsertItem(int index, std::string_view text, TObject* object);

  std::vector<Item> items_;
  bool sorted_ = false;
  bool case_sensitive_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
  TNotifyEvent on_change_;
  TNotifyEvent on_changing_;
};

}  // namespace rtl
