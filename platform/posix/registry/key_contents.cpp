#include "platform/posix/registry/key_contents.h"

#include "platform/posix/registry/registry_tree.h"

namespace hostlens::sim::registry::tree {

bool SubkeyList::Less::operator()(const std::shared_ptr<Node>& a, const std::shared_ptr<Node>& b) const {
    return detail::CompareNoCase(a->name, b->name) < 0;
}
bool SubkeyList::Less::operator()(const std::shared_ptr<Node>& a, std::u16string_view b) const {
    return detail::CompareNoCase(a->name, b) < 0;
}
bool SubkeyList::Less::operator()(std::u16string_view a, const std::shared_ptr<Node>& b) const {
    return detail::CompareNoCase(a, b->name) < 0;
}

std::shared_ptr<Node> SubkeyList::Find(std::u16string_view name) const {
    auto it = sorted_.find(name);
    return it == sorted_.end() ? nullptr : *it;
}

void SubkeyList::Insert(std::shared_ptr<Node> node) {
    sorted_.insert(std::move(node));
    byIndexStale_ = true;
}

void SubkeyList::Erase(const std::shared_ptr<Node>& node) {
    auto it = sorted_.find(node->name);
    if (it == sorted_.end() || *it != node) return;
    sorted_.erase(it);
    byIndexStale_ = true;
}

void SubkeyList::Clear() {
    sorted_.clear();
    byIndex_.clear();
    byIndexStale_ = false;
}

const Node& SubkeyList::At(std::size_t index) const {
    if (byIndexStale_) {
        byIndex_.clear();
        byIndex_.reserve(sorted_.size());
        for (const auto& node : sorted_) byIndex_.push_back(node.get());
        byIndexStale_ = false;
    }
    return *byIndex_[index];
}

Value* ValueList::Find(std::u16string_view name) {
    auto it = positions_.find(name);
    return it == positions_.end() ? nullptr : &values_[it->second];
}

void ValueList::Set(std::u16string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    if (Value* value = Find(name)) {
        value->type = type;
        value->data = std::move(data);
        return;
    }
    positions_.emplace(std::u16string(name), values_.size());
    values_.push_back(Value{std::u16string(name), type, std::move(data)});
    if (gaps_ > 0) erased_.push_back(false);
}

bool ValueList::Erase(std::u16string_view name) {
    auto it = positions_.find(name);
    if (it == positions_.end()) return false;
    if (gaps_ == 0) erased_.assign(values_.size(), false);
    erased_[it->second] = true;
    values_[it->second] = Value{};  // the data is freed now, not at the next compaction
    ++gaps_;
    positions_.erase(it);
    if (gaps_ > positions_.size()) Compact();
    return true;
}

void ValueList::Clear() {
    values_.clear();
    erased_.clear();
    gaps_ = 0;
    positions_.clear();
}

const std::vector<Value>& ValueList::All() {
    if (gaps_ > 0) Compact();
    return values_;
}

void ValueList::Compact() {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (erased_[i]) continue;
        if (kept != i) values_[kept] = std::move(values_[i]);
        positions_.find(values_[kept].name)->second = kept;
        ++kept;
    }
    values_.resize(kept);
    erased_.clear();
    gaps_ = 0;
}

}  // namespace hostlens::sim::registry::tree
