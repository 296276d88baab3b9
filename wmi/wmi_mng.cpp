#include "wmi/wmi_mng.h"

// Queries are not built yet: the agent is told so by the result code.
void CWmiMng::SetNamespace(const WString& wmiNamespace) {
    namespace_ = wmiNamespace;
}

DWORD CWmiMng::QueryNamespace(const WString&, const WmiQuery&, std::vector<WmiRow>&) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD CWmiMng::QueryNamespaceAsStrings(const WString&, const WmiQuery&, std::vector<WmiStringRow>&) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD CWmiMng::Query(const WmiQuery&, std::vector<WmiRow>&) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD CWmiMng::QueryAsStrings(const WmiQuery&, std::vector<WmiStringRow>&) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
