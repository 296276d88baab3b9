// Code-page conversions with the protocol of kernel32: a length of -1 means a
// NUL-terminated input whose NUL is converted and counted; a capacity of 0 asks for
// the size needed; a buffer that is too small fails with ERROR_INSUFFICIENT_BUFFER.
//
// UTF-8 is converted here. The tables of the other code pages come from the host's
// iconv (glibc's CP1250-CP1258, CP874, CP932, CP936, CP949, CP950 and the OEM pages
// CP437, CP850, CP866). Where those tables differ from Windows:
// - Single-byte pages: each byte converts on its own, as Windows does, so glibc's
//   composition of CP1255 and CP1258 points never happens. Bytes 0x80-0x9F that a
//   page leaves undefined give the C1 control of the same value, as Windows' tables
//   do; the few other undefined bytes (Windows gives private-use characters there)
//   count as invalid.
// - An invalid byte becomes U+FFFD (Windows gives the page's default character in
//   some double-byte cases), one per byte; UTF-8 gives one U+FFFD per maximal
//   invalid subsequence. With MB_ERR_INVALID_CHARS any of them fails the call with
//   ERROR_NO_UNICODE_TRANSLATION.
// - Towards a code page there is no best-fit mapping: a character the page lacks
//   becomes the default character ("?" unless the caller gives one).
// CP_OEMCP, CP_MACCP, CP_SYMBOL and UTF-7 are not provided and fail as unknown code
// pages do.
#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/posix/machine/machine.h"
#include "platform/posix/win32_base.h"
#include "platform/posix/nls/win32_nls.h"

namespace {

using hostlens::sim::MachineFacts;
using hostlens::sim::detail::Fault;

enum class Kind { Utf8, SingleByte, DoubleByte };

struct CodePage {
    UINT number;
    const char* iconvName;
    Kind kind;
};

constexpr CodePage kCodePages[] = {
    {437, "CP437", Kind::SingleByte},   {850, "CP850", Kind::SingleByte},
    {866, "CP866", Kind::SingleByte},   {874, "CP874", Kind::SingleByte},
    {932, "CP932", Kind::DoubleByte},   {936, "CP936", Kind::DoubleByte},
    {949, "CP949", Kind::DoubleByte},   {950, "CP950", Kind::DoubleByte},
    {1250, "CP1250", Kind::SingleByte}, {1251, "CP1251", Kind::SingleByte},
    {1252, "CP1252", Kind::SingleByte}, {1253, "CP1253", Kind::SingleByte},
    {1254, "CP1254", Kind::SingleByte}, {1255, "CP1255", Kind::SingleByte},
    {1256, "CP1256", Kind::SingleByte}, {1257, "CP1257", Kind::SingleByte},
    {1258, "CP1258", Kind::SingleByte}, {CP_UTF8, nullptr, Kind::Utf8},
};

constexpr char16_t kReplacement = 0xFFFD;

const CodePage* FindCodePage(UINT number) {
    if (number == CP_ACP || number == CP_THREAD_ACP) number = MachineFacts().ansiCodePage;
    for (const CodePage& page : kCodePages)
        if (page.number == number) return &page;
    return nullptr;
}

// An iconv descriptor for the duration of one conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

    // Converts `in` until it is consumed or a sequence fails, appending to `out`,
    // then flushes what the state still holds. Returns 0 or the errno that stopped it.
    int Convert(const char*& in, std::size_t& inLeft, std::string& out) {
        while (inLeft > 0) {
            int error = Step(const_cast<char**>(&in), &inLeft, out);
            if (error != 0 && error != E2BIG) return error;
        }
        for (;;) {
            int error = Step(nullptr, nullptr, out);
            if (error != E2BIG) return error;
        }
    }

private:
    int Step(char** in, std::size_t* inLeft, std::string& out) {
        char buffer[256];
        char* next = buffer;
        std::size_t room = sizeof buffer;
        std::size_t result = iconv(cd_, in, inLeft, &next, &room);
        int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        out.append(buffer, static_cast<std::size_t>(next - buffer));
        return error;
    }

    iconv_t cd_;
};

void AppendUtf16Le(const std::string& bytes, std::u16string& out) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
}

// ---------------------------------------------------------------------------------
// Single-byte pages: a table per page, built once from iconv.

struct SingleByteTable {
    char16_t wide[256]{};
    bool defined[256]{};
    std::map<char16_t, unsigned char> bytes;  // the reverse mapping
};

const SingleByteTable* TableOf(const CodePage& page) {
    static std::mutex* mutex = new std::mutex;
    static auto* tables = new std::map<UINT, std::unique_ptr<SingleByteTable>>;  // host data: kept for good
    std::lock_guard lock(*mutex);
    auto& slot = (*tables)[page.number];
    if (slot) return slot.get();
    Converter converter("UTF-16LE", page.iconvName);
    if (!converter.Ok()) return nullptr;
    auto table = std::make_unique<SingleByteTable>();
    for (unsigned b = 0; b < 256; ++b) {
        char byte = static_cast<char>(b);
        const char* in = &byte;
        std::size_t inLeft = 1;
        std::string out;
        converter.Reset();
        std::u16string wide;
        if (converter.Convert(in, inLeft, out) == 0) AppendUtf16Le(out, wide);
        if (wide.size() == 1) {
            table->wide[b] = wide[0];
            table->defined[b] = true;
        } else if (b >= 0x80 && b <= 0x9F) {
            table->wide[b] = static_cast<char16_t>(b);
            table->defined[b] = true;
        } else {
            table->wide[b] = kReplacement;
        }
    }
    for (unsigned b = 256; b-- > 0;)
        if (table->defined[b]) table->bytes[table->wide[b]] = static_cast<unsigned char>(b);
    slot = std::move(table);
    return slot.get();
}

// ---------------------------------------------------------------------------------
// Decoding: false when an invalid sequence is met in strict mode, or the table is
// missing on this host (`missingTable` set).

bool DecodeUtf8(std::string_view in, bool strict, std::u16string& out) {
    std::size_t i = 0;
    while (i < in.size()) {
        auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte, which excludes overlong
        // forms, surrogates and values above U+10FFFF.
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        }
        char32_t c = length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        std::size_t read = 1;
        while (length && read < length && i + read < in.size()) {
            auto next = static_cast<unsigned char>(in[i + read]);
            if (next < low || next > high) break;
            c = (c << 6) | (next & 0x3F);
            low = 0x80;
            high = 0xBF;
            ++read;
        }
        if (length == 0 || read < length) {
            if (strict) return false;
            out += kReplacement;  // one for the whole maximal invalid subsequence
            i += read;
            continue;
        }
        i += length;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return true;
}

bool DecodeSingleByte(const SingleByteTable& table, std::string_view in, bool strict, std::u16string& out) {
    for (char ch : in) {
        auto b = static_cast<unsigned char>(ch);
        if (!table.defined[b] && strict) return false;
        out += table.wide[b];
    }
    return true;
}

bool DecodeDoubleByte(const CodePage& page, std::string_view in, bool strict, std::u16string& out,
                      bool& missingTable) {
    Converter converter("UTF-16LE", page.iconvName);
    if (!converter.Ok()) {
        missingTable = true;
        return false;
    }
    const char* next = in.data();
    std::size_t left = in.size();
    while (left > 0) {
        std::string converted;
        int error = converter.Convert(next, left, converted);
        AppendUtf16Le(converted, out);
        if (error == 0) break;
        if (strict) return false;
        // An invalid or incomplete sequence: replace its first byte and go on.
        out += kReplacement;
        ++next;
        --left;
        converter.Reset();
    }
    return true;
}

// ---------------------------------------------------------------------------------
// Encoding: false when an unpaired surrogate is met in strict mode (UTF-8 only).

bool EncodeUtf8(std::u16string_view in, bool strict, std::string& out) {
    return hostlens::sim::detail::AppendUtf8(in, strict, out);
}

void EncodeSingleByte(const SingleByteTable& table, std::u16string_view in, const std::string& defaultChar,
                      std::string& out, bool& usedDefault) {
    for (char16_t c : in) {
        auto it = table.bytes.find(c);
        if (it != table.bytes.end()) {
            out += static_cast<char>(it->second);
        } else {
            out += defaultChar;
            usedDefault = true;
        }
    }
}

bool EncodeDoubleByte(const CodePage& page, std::u16string_view in, const std::string& defaultChar,
                      std::string& out, bool& usedDefault) {
    Converter converter(page.iconvName, "UTF-16LE");
    if (!converter.Ok()) return false;
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::size_t units = (in[i] >= 0xD800 && in[i] <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
                             in[i + 1] <= 0xDFFF)
                                ? 2
                                : 1;
        std::string source;
        for (std::size_t k = 0; k < units; ++k) {
            source += static_cast<char>(in[i + k] & 0xFF);
            source += static_cast<char>(in[i + k] >> 8);
        }
        i += units - 1;
        const char* next = source.data();
        std::size_t left = source.size();
        std::string converted;
        converter.Reset();
        if (converter.Convert(next, left, converted) == 0) {
            out += converted;
        } else {
            out += defaultChar;
            usedDefault = true;
        }
    }
    return true;
}

// The caller's default character is the first character of its text, which in a
// double-byte page may take two bytes.
std::string DefaultCharacter(const CodePage& page, LPCCH text) {
    if (!text || !text[0]) return "?";
    auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = page.kind == Kind::DoubleByte && lead >= 0x80 && text[1] ? 2 : 1;
    return std::string(text, length);
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Hands the result over with the size protocol shared by both directions.
template <class Char>
int Deliver(const std::basic_string<Char>& result, Char* buffer, int capacity) {
    if (result.size() > 0x7FFFFFFF) return Fail(ERROR_INSUFFICIENT_BUFFER);
    auto size = static_cast<int>(result.size());
    if (capacity == 0) return size;
    if (size > capacity) {
        // Windows fills the buffer as far as it goes before it reports the failure.
        result.copy(buffer, static_cast<std::size_t>(capacity));
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    result.copy(buffer, result.size());
    return size;
}

}  // namespace

HOSTLENS_WIN32_API UINT WINAPI GetACP(void) {
    return MachineFacts().ansiCodePage;
}

HOSTLENS_WIN32_API BOOL WINAPI IsValidCodePage(UINT codePage) {
    return codePage != CP_ACP && codePage != CP_THREAD_ACP && FindCodePage(codePage) ? TRUE : FALSE;
}

HOSTLENS_WIN32_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int length,
                                                  LPWSTR wide, int capacity) {
    if (auto error = Fault("MultiByteToWideChar")) return Fail(*error);
    if (!bytes || length == 0 || capacity < 0 || (capacity > 0 && !wide) ||
        static_cast<const void*>(bytes) == static_cast<const void*>(wide))
        return Fail(ERROR_INVALID_PARAMETER);
    std::string_view input(
        bytes, length < 0 ? std::char_traits<char>::length(bytes) + 1 : static_cast<std::size_t>(length));
    const CodePage* page = FindCodePage(codePage);
    if (!page) return Fail(ERROR_INVALID_PARAMETER);
    if (page->kind == Kind::Utf8
            ? (flags & ~DWORD{MB_ERR_INVALID_CHARS}) != 0
            : (flags & ~DWORD{MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS}) !=
                      0 ||
                  (flags & (MB_PRECOMPOSED | MB_COMPOSITE)) == (MB_PRECOMPOSED | MB_COMPOSITE))
        return Fail(ERROR_INVALID_FLAGS);
    bool strict = (flags & MB_ERR_INVALID_CHARS) != 0;

    std::u16string result;
    bool missingTable = false;
    bool ok = false;
    if (page->kind == Kind::Utf8) {
        ok = DecodeUtf8(input, strict, result);
    } else if (page->kind == Kind::SingleByte) {
        const SingleByteTable* table = TableOf(*page);
        missingTable = !table;
        ok = table && DecodeSingleByte(*table, input, strict, result);
    } else {
        ok = DecodeDoubleByte(*page, input, strict, result, missingTable);
    }
    if (missingTable) return Fail(ERROR_INVALID_PARAMETER);
    if (!ok) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    return Deliver(result, wide, capacity);
}

HOSTLENS_WIN32_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int length,
                                                  LPSTR bytes, int capacity, LPCCH defaultChar,
                                                  LPBOOL usedDefaultChar) {
    if (auto error = Fault("WideCharToMultiByte")) return Fail(*error);
    if (!wide || length == 0 || capacity < 0 || (capacity > 0 && !bytes) ||
        static_cast<const void*>(bytes) == static_cast<const void*>(wide))
        return Fail(ERROR_INVALID_PARAMETER);
    std::u16string_view input(
        wide, length < 0 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<std::size_t>(length));
    const CodePage* page = FindCodePage(codePage);
    if (!page) return Fail(ERROR_INVALID_PARAMETER);

    std::string result;
    if (page->kind == Kind::Utf8) {
        // UTF-8 has no default character: asking for one is a parameter error.
        if (defaultChar || usedDefaultChar) return Fail(ERROR_INVALID_PARAMETER);
        if (flags & ~DWORD{WC_ERR_INVALID_CHARS}) return Fail(ERROR_INVALID_FLAGS);
        if (!EncodeUtf8(input, (flags & WC_ERR_INVALID_CHARS) != 0, result))
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        return Deliver(result, bytes, capacity);
    }

    if (flags &
        ~DWORD{WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS})
        return Fail(ERROR_INVALID_FLAGS);
    const std::string fallback = DefaultCharacter(*page, defaultChar);
    bool usedDefault = false;
    if (page->kind == Kind::SingleByte) {
        const SingleByteTable* table = TableOf(*page);
        if (!table) return Fail(ERROR_INVALID_PARAMETER);
        EncodeSingleByte(*table, input, fallback, result, usedDefault);
    } else if (!EncodeDoubleByte(*page, input, fallback, result, usedDefault)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    int size = Deliver(result, bytes, capacity);
    if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
    return size;
}
