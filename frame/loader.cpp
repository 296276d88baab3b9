#include "frame/loader.h"

#include "frame/trace.h"

HL_TRACE_MODULE("frame/loader")

WString WithTrailingBackslash(const WString& folder) {
    if (folder.empty() || folder.back() == W('\\')) return folder;
    return folder + W("\\");
}

CLoader::CLoader(const WString& folder) : folder_(WithTrailingBackslash(folder)) {}

CLoader::~CLoader() {
    // A loader still loaded more than once keeps its library: only one Unload here.
    Unload();
}

bool CLoader::Load(const WString& name, const WString& folder) {
    hostlens::ScopedLock lock(lock_);
    if (module_ != nullptr) {
        ++loadCount_;
        return true;
    }
    libraryName_ = name;
    if (!folder.empty()) folder_ = WithTrailingBackslash(folder);
    WString path = folder_.empty() ? name : folder_ + name;
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module_ != nullptr) {
        loadCount_ = 1;
    } else {
        TRACE_ERROR(path, GetLastError());
    }
    return module_ != nullptr;
}

void CLoader::Unload() {
    hostlens::ScopedLock lock(lock_);
    if (loadCount_ == 0) return;
    if (loadCount_-- == 1 && module_ != nullptr) {
        functions_.clear();
        if (!FreeLibrary(module_)) TRACE_ERROR(libraryName_, GetLastError());
        module_ = nullptr;
    }
}

FARPROC CLoader::GetFunction(const std::string& name) {
    if (module_ == nullptr) return nullptr;
    auto cached = functions_.find(name);
    if (cached != functions_.end()) return cached->second;
    FARPROC function = GetProcAddress(module_, name.c_str());
    if (function == nullptr) {
        // Not cached: a later call asks the platform again.
        TRACE_ERROR(name);
        return nullptr;
    }
    functions_.emplace(name, function);
    return function;
}

bool CLoader::HasFunction(const std::string& name) {
    return GetFunction(name) != nullptr;
}
