#include "idlist/id_rows.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// A text longer than this is cut: far beyond any name the lists take (at most 255 bytes).
const size_t MostTextBytes = 0x7FFF;
const size_t MostBlockBytes = 0xFFFFFFFFu;

size_t CutLength(const std::string& text) { return std::min(text.size(), MostTextBytes); }

bool SameName(const char* a, const std::string& key)
{
    return NameKey(a) == key;
}

}  // namespace

const char* IdRows::Text(size_t position, int column) const
{
    if (position >= rows_.size() || column < 0 || column > 2)
        return "";
    const Entry& entry = rows_[position];
    const char* name = texts_.data() + entry.text;
    return column == 0 ? name : column == 1 ? name + entry.user : name + entry.id;
}

IdRow IdRows::Row(size_t position) const { return {Text(position, 0), Text(position, 1), Text(position, 2)}; }

std::vector<IdRow> IdRows::All() const
{
    std::vector<IdRow> rows;
    rows.reserve(rows_.size());
    for (size_t position = 0; position < rows_.size(); ++position)
        rows.push_back(Row(position));
    return rows;
}

LPARAM IdRows::Tag(size_t position) const { return position < rows_.size() ? rows_[position].tag : -1; }

void IdRows::Clear()
{
    rows_.clear();
    texts_.clear();
    rows_.shrink_to_fit();
    texts_.shrink_to_fit();
    unused_ = 0;
}

bool IdRows::Append(const IdRow& row, LPARAM tag)
{
    const size_t name = CutLength(row.Name), user = CutLength(row.UserName), id = CutLength(row.ID);
    const size_t bytes = name + user + id + 3;
    if (texts_.size() + bytes > MostBlockBytes || rows_.size() >= 0x7FFFFFFF)
        return false;
    Entry entry = {static_cast<uint32_t>(texts_.size()), static_cast<int32_t>(tag), static_cast<uint16_t>(name + 1),
                   static_cast<uint16_t>(name + 1 + user + 1)};
    texts_.insert(texts_.end(), row.Name.begin(), row.Name.begin() + name);
    texts_.push_back('\0');
    texts_.insert(texts_.end(), row.UserName.begin(), row.UserName.begin() + user);
    texts_.push_back('\0');
    texts_.insert(texts_.end(), row.ID.begin(), row.ID.begin() + id);
    texts_.push_back('\0');
    rows_.push_back(entry);
    return true;
}

void IdRows::Replace(size_t position, const IdRow& row, LPARAM tag)
{
    if (position >= rows_.size())
        return;
    // The new texts go to the end of the block; the old ones wait for the next compaction.
    const Entry old = rows_[position];
    if (!Append(row, tag)) {
        return;
    }
    rows_[position] = rows_.back();
    rows_.pop_back();
    unused_ += static_cast<size_t>(old.id) + strlen(texts_.data() + old.text + old.id) + 1;
    if (unused_ > texts_.size() / 2)
        Compact();
}

void IdRows::Remove(const std::vector<bool>& remove)
{
    size_t kept = 0;
    for (size_t position = 0; position < rows_.size(); ++position) {
        const Entry& entry = rows_[position];
        if (position < remove.size() && remove[position])
            unused_ += static_cast<size_t>(entry.id) + strlen(texts_.data() + entry.text + entry.id) + 1;
        else
            rows_[kept++] = entry;
    }
    rows_.resize(kept);
    if (unused_ > texts_.size() / 2)
        Compact();
}

void IdRows::Compact()
{
    std::vector<char> texts;
    // Only a saving: without room for the packed copy the rows keep the block they have, and a
    // removal that already happened is not undone by a failed tidy-up. Reserved whole, the copy
    // below never grows.
    try {
        texts.reserve(texts_.size() - unused_);
    } catch (const std::bad_alloc&) {
        return;
    }
    for (Entry& entry : rows_) {
        const char* name = texts_.data() + entry.text;
        const size_t length = static_cast<size_t>(entry.id) + strlen(name + entry.id) + 1;
        entry.text = static_cast<uint32_t>(texts.size());
        texts.insert(texts.end(), name, name + length);
    }
    texts_.swap(texts);
    rows_.shrink_to_fit();
    unused_ = 0;
}

long IdRows::FindName(const std::string& name, size_t from) const
{
    const std::string key = NameKey(name);
    for (size_t position = from; position < rows_.size(); ++position)
        if (SameName(Text(position, 0), key))
            return static_cast<long>(position);
    return -1;
}

long IdRows::FindNamePrefix(const std::string& prefix, size_t from) const
{
    const std::string key = NameKey(prefix);
    for (size_t position = from; position < rows_.size(); ++position) {
        const char* name = Text(position, 0);
        if (strlen(name) >= prefix.size() && NameKey(std::string(name, prefix.size())) == key)
            return static_cast<long>(position);
    }
    return -1;
}

long IdRows::FindTag(LPARAM tag, size_t from) const
{
    for (size_t position = from; position < rows_.size(); ++position)
        if (rows_[position].tag == tag)
            return static_cast<long>(position);
    return -1;
}

std::vector<size_t> IdRows::SortByColumn(int column, bool numeric)
{
    std::vector<LPARAM> tags(rows_.size());
    std::vector<std::string> texts(rows_.size());
    for (size_t position = 0; position < rows_.size(); ++position) {
        tags[position] = rows_[position].tag;
        texts[position] = Text(position, column);
    }
    const SortKeys keys(tags, texts);
    texts.clear();
    texts.shrink_to_fit();
    auto* compare = numeric ? &CompareRowsByNumber : &CompareRowsByText;
    const LPARAM context = reinterpret_cast<LPARAM>(&keys);

    std::vector<size_t> order(rows_.size());
    for (size_t position = 0; position < order.size(); ++position)
        order[position] = position;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return compare(tags[a], tags[b], context) < 0; });
    std::vector<Entry> sorted(rows_.size());
    for (size_t position = 0; position < order.size(); ++position)
        sorted[position] = rows_[order[position]];
    rows_.swap(sorted);
    return order;
}

size_t IdRows::HeldBytes() const { return rows_.capacity() * sizeof(Entry) + texts_.capacity(); }
