// The rows an ID list view shows, kept by the module so that the list view draws only the rows in
// sight (an owner-data list view). A row is three texts and a tag: the row count when it was
// added, or its own position once it was overwritten. The texts of all rows live in one block, so
// a row costs a few bytes beyond its text however many there are. Nothing here touches a window.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "idlist/id_list.h"

class IdRows {
public:
    size_t Size() const { return rows_.size(); }
    // The text of `column` (0 name, 1 user name, 2 ID) of the row at `position`; "" out of range.
    const char* Text(size_t position, int column) const;
    IdRow Row(size_t position) const;
    std::vector<IdRow> All() const;
    LPARAM Tag(size_t position) const;

    void Clear();
    // Adds a row at the end with `tag`; false when it cannot be held (the list stays as it was).
    bool Append(const IdRow& row, LPARAM tag);
    void Replace(size_t position, const IdRow& row, LPARAM tag);
    // Removes the rows whose flag is set (`remove` has one flag per row), the others keeping their
    // order and tags.
    void Remove(const std::vector<bool>& remove);

    // Position of the first row at or after `from` whose name equals `name` when compared as the
    // lists compare names (without regard to case); -1 when none.
    long FindName(const std::string& name, size_t from = 0) const;
    // The same for a name that starts with `prefix`.
    long FindNamePrefix(const std::string& prefix, size_t from = 0) const;
    long FindTag(LPARAM tag, size_t from = 0) const;

    // Orders the rows as the column sort does: by the sort keys of `column` for each tag, in
    // SortDirection, rows with equal keys keeping their order. Returns the old position of each
    // row in the new order.
    std::vector<size_t> SortByColumn(int column, bool numeric);

    // Bytes this store holds from the heap, its text block included.
    size_t HeldBytes() const;

private:
    struct Entry {
        uint32_t text;    // offset of the name in texts_; the user name and the ID follow it
        int32_t tag;
        uint16_t user;    // offset of the user name from the name
        uint16_t id;      // offset of the ID from the name
    };
    void Compact();
    std::vector<Entry> rows_;
    std::vector<char> texts_;
    size_t unused_ = 0;   // bytes of texts_ no row refers to any more
};
