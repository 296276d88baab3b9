// The WMI manager: initialises COM on the calling thread, connects to a namespace,
// runs WQL queries and turns every returned object into a row. One connection is
// kept and reused while the namespace does not change.
#pragma once

#include "frame/com_ptr.h"
#include "frame/service_object.h"
#include "hostlens/WmiMng.h"

class CWmiMng : public CServiceObject<IWmiMng> {
public:
    explicit CWmiMng(ILogbridge* logger);
    ~CWmiMng() override;

    void SetNamespace(const WString& wmiNamespace) override;
    DWORD QueryNamespace(const WString& wmiNamespace, const WmiQuery& query,
                         std::vector<WmiRow>& rows) override;
    DWORD QueryNamespaceAsStrings(const WString& wmiNamespace, const WmiQuery& query,
                                  std::vector<WmiStringRow>& rows) override;
    DWORD Query(const WmiQuery& query, std::vector<WmiRow>& rows) override;
    DWORD QueryAsStrings(const WmiQuery& query, std::vector<WmiStringRow>& rows) override;

private:
    // How a query call differs between the working namespace and a named one.
    enum class Mode { WorkingNamespace, NamedNamespace };

    bool InitCom();
    HRESULT CreateLocator();
    HRESULT Connect(const WString& wmiNamespace);
    void ReleaseConnection();
    void ReleaseWmi();
    void DisconnectAll();

    DWORD Execute(Mode mode, const WString& wmiNamespace, const WmiQuery& query,
                  hostlens::ComPtr<IEnumWbemClassObject>& enumerator);
    DWORD ReadRows(Mode mode, const WmiQuery& query, IEnumWbemClassObject* enumerator,
                   std::vector<WmiRow>& rows);

    bool comInitialized_ = false;
    hostlens::ComPtr<IWbemLocator> locator_;
    hostlens::ComPtr<IWbemServices> services_;
    WString namespace_;
    WString connectedNamespace_;
    ILogbridge* logger_;
};

// Text rows from typed rows: every value as text, arrays joined with " | ", and a
// value that has no text left out.
void AppendStringRows(const std::vector<WmiRow>& rows, std::vector<WmiStringRow>& out);
