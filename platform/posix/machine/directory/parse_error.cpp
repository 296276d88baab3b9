#include "platform/posix/machine/directory/parse_error.h"

#include "platform/posix/machine/machine.h"

namespace hostlens::sim::machinedir {

std::string FileName(std::string_view name) {
    return detail::Excerpt(name, kFileNameExcerpt);
}

std::string ParseError::Message() const {
    std::string out = FileName(file);
    if (!out.empty()) out += ": ";
    if (line != 0) {
        out += "line " + std::to_string(line);
        if (column != 0) out += ", column " + std::to_string(column);
        out += ": ";
    }
    if (!pointer.empty()) out += pointer + ": ";
    out += reason;
    return out;
}

}  // namespace hostlens::sim::machinedir
