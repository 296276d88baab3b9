// What one registry key holds: its subkeys and its values. Both are found by name
// without case in logarithmic or constant time and enumerated by index, so that a key
// with hundreds of thousands of subkeys or values is built, emptied and read in time
// that grows linearly with them (an export may list them in any order).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::registry::tree {

struct Node;

struct Value {
    std::u16string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Sorted by name without case, as the hive's index sorts them.
class SubkeyList {
public:
    std::shared_ptr<Node> Find(std::u16string_view name) const;
    // The list must not hold a subkey of that name yet.
    void Insert(std::shared_ptr<Node> node);
    void Erase(const std::shared_ptr<Node>& node);
    void Clear();

    std::size_t Size() const { return sorted_.size(); }
    bool Empty() const { return sorted_.empty(); }
    // The subkey at `index` (below Size()) in sorted order.
    const Node& At(std::size_t index) const;
    auto begin() const { return sorted_.begin(); }
    auto end() const { return sorted_.end(); }

private:
    struct Less {
        using is_transparent = void;
        bool operator()(const std::shared_ptr<Node>& a, const std::shared_ptr<Node>& b) const;
        bool operator()(const std::shared_ptr<Node>& a, std::u16string_view b) const;
        bool operator()(std::u16string_view a, const std::shared_ptr<Node>& b) const;
    };
    std::set<std::shared_ptr<Node>, Less> sorted_;
    // The set as a vector for enumeration by index (callers count up from 0, which
    // would walk the set from its start every time); rebuilt after a change.
    mutable std::vector<const Node*> byIndex_;
    mutable bool byIndexStale_ = false;
};

// In the order they were first set.
class ValueList {
public:
    Value* Find(std::u16string_view name);
    // Sets a value; one that exists keeps its name's case and its place in the order.
    void Set(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
    // False when there is no such value.
    bool Erase(std::u16string_view name);
    void Clear();

    std::size_t Size() const { return positions_.size(); }
    bool Empty() const { return positions_.empty(); }
    // The values in order, `At(i)` being All()[i].
    const std::vector<Value>& All();
    const Value& At(std::size_t index) { return All()[index]; }

private:
    void Compact();

    // Erasing leaves a gap (an entry of `erased_`), closed before the values are next
    // read by index or when gaps outnumber values: erasing many values of one key
    // then costs linear time, not a shift of every later value each time.
    std::vector<Value> values_;
    std::vector<bool> erased_;  // empty while there are no gaps
    std::size_t gaps_ = 0;
    std::unordered_map<std::u16string, std::size_t, detail::NoCaseHash, detail::NoCaseEqual> positions_;
};

}  // namespace hostlens::sim::registry::tree
