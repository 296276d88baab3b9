#include "platform/posix/machine/directory/parse_error.h"

namespace hostlens::sim::machinedir {

std::string ParseError::Message() const {
    std::string out = file;
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
