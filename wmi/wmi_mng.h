#pragma once

#include "frame/service_object.h"
#include "hostlens/WmiMng.h"

class CWmiMng : public CLoggingServiceObject<IWmiMng> {
public:
    explicit CWmiMng(ILogbridge* logger) : CLoggingServiceObject(logger) {}

    void SetNamespace(const WString& wmiNamespace) override;
    DWORD QueryNamespace(const WString& wmiNamespace, const WmiQuery& query, std::vector<WmiRow>& rows) override;
    DWORD QueryNamespaceAsStrings(const WString& wmiNamespace, const WmiQuery& query,
                                  std::vector<WmiStringRow>& rows) override;
    DWORD Query(const WmiQuery& query, std::vector<WmiRow>& rows) override;
    DWORD QueryAsStrings(const WmiQuery& query, std::vector<WmiStringRow>& rows) override;

private:
    WString namespace_;
};
