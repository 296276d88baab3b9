// The fields of a sub-record and the WMI properties that fill them, as a table: the
// property's name, and the member it fills, whose type says how the value is read
// (a text, a list of texts, an optional number of the member's width, an optional
// boolean).
#pragma once

#include <initializer_list>
#include <span>
#include <variant>
#include <vector>

#include "hardware/row_values.h"

namespace hostlens::hardware {

// An optional value: the value and its present flag.
template <class Record, class Value>
struct Optional {
    Value Record::*value;
    bool Record::*present;
};

template <class Record>
struct Field {
    const WCHAR* property;
    std::variant<WString Record::*, std::vector<WString> Record::*, Optional<Record, WORD>,
                 Optional<Record, DWORD>, Optional<Record, ULONGLONG>, Optional<Record, bool>>
        member;
};

template <class Record, class Value>
constexpr Optional<Record, Value> Opt(Value Record::*value, bool Record::*present) {
    return {value, present};
}

// A query for `wql` that asks for the table's properties, in table order, leaving out
// empty and null values.
template <class Record>
WmiQuery QueryFor(const WCHAR* wql, std::span<const Field<Record>> fields) {
    WmiQuery query;
    query.Query = wql;
    std::size_t i = 0;
    for (const Field<Record>& field : fields)
        if (i < std::size(query.Properties) - 1) query.Properties[i++] = field.property;
    return query;
}

// A query for `wql` that asks for `properties`, in that order (at most 14).
WmiQuery QueryFor(const WCHAR* wql, std::initializer_list<const WCHAR*> properties);

template <class Record>
void ReadFields(const WmiRow& row, std::span<const Field<Record>> fields, Record& record) {
    for (const Field<Record>& field : fields) {
        std::visit(
            [&](const auto& member) {
                using Member = std::decay_t<decltype(member)>;
                if constexpr (std::is_same_v<Member, WString Record::*>) {
                    ReadText(row, field.property, record.*member);
                } else if constexpr (std::is_same_v<Member, std::vector<WString> Record::*>) {
                    ReadTextList(row, field.property, record.*member);
                } else if constexpr (std::is_same_v<Member, Optional<Record, bool>>) {
                    VARIANT_BOOL bits = 0;
                    if (ReadBoolean(row, field.property, bits)) {
                        record.*member.value = static_cast<std::uint16_t>(bits) == 0xFFFF;
                        record.*member.present = true;
                    }
                } else {
                    ReadNumber(row, field.property, record.*member.value, record.*member.present);
                }
            },
            field.member);
    }
}

// Runs the query; a failure is traced at error level. True on success.
bool RunQuery(IWmiMng* wmi, const WmiQuery& query, std::vector<WmiRow>& rows);

// The common list collector: one sub-record per row, in WMI's order, filled by the
// table. A null manager or a failing query is traced at error level and leaves the
// list as it was; otherwise the list is replaced. True when the list is non-empty.
template <class Record>
bool CollectList(IWmiMng* wmi, const WCHAR* wql, std::span<const Field<Record>> fields,
                 std::vector<Record>& list) {
    std::vector<WmiRow> rows;
    if (!RunQuery(wmi, QueryFor(wql, fields), rows)) return false;
    list.clear();
    for (const WmiRow& row : rows) {
        Record record;
        ReadFields(row, fields, record);
        list.push_back(std::move(record));
    }
    return !list.empty();
}

}  // namespace hostlens::hardware
