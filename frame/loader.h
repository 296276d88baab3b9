// Run-time loading of a sibling DLL with a cache of the functions looked up in it.
#pragma once

#include <map>
#include <string>

#include "frame/lock.h"
#include "platform/win32.h"

// A looked-up function address as the function type the caller knows it by.
template <class Function>
Function FunctionCast(FARPROC address) {
    // Through the generic function pointer type, which every function pointer converts to.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

class ILoader {
public:
    virtual ~ILoader() = default;
    // Loads `name` from `folder` (or the constructor's folder when empty); when a
    // library is already loaded only its load count rises.
    virtual bool Load(const WString& name, const WString& folder) = 0;
    virtual void Unload() = 0;
    virtual FARPROC GetFunction(const std::string& name) = 0;
    virtual bool HasFunction(const std::string& name) = 0;
    virtual const WString& GetLibraryName() const = 0;
    virtual const WString& GetFolder() const = 0;
};

class CLoader : public ILoader {
public:
    explicit CLoader(const WString& folder);
    ~CLoader() override;
    CLoader(const CLoader&) = delete;
    CLoader& operator=(const CLoader&) = delete;

    bool Load(const WString& name, const WString& folder) override;
    void Unload() override;
    // Not locked: owners call it under their own lock or from one thread.
    FARPROC GetFunction(const std::string& name) override;
    bool HasFunction(const std::string& name) override;
    const WString& GetLibraryName() const override { return libraryName_; }
    const WString& GetFolder() const override { return folder_; }

    template <class Function>
    Function GetFunctionAs(const std::string& name) {
        return FunctionCast<Function>(GetFunction(name));
    }

private:
    HMODULE module_ = nullptr;
    WString folder_;
    WString libraryName_;
    std::map<std::string, FARPROC> functions_;
    DWORD loadCount_ = 0;
    hostlens::Mutex lock_;
};

// Appends a backslash unless the text is empty or already ends with one.
WString WithTrailingBackslash(const WString& folder);
