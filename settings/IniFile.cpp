#include "settings/IniFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "dialogs/Messages.h"
#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::string NameKey(std::string_view name) {
    return AnsiUpper(Trim(name));
}

// The text format has no escape for a line break inside a value.
std::string OneLine(const std::string& value) {
    std::string out = value;
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

void CheckKey(const std::string& key) {
    std::string k = Trim(key);
    if (k.empty() || k.find_first_of("=\r\n") != std::string::npos || k[0] == '[' || k[0] == ';')
        throw EConvertError("Недопустимое имя ключа INI-файла: \""_a + key + "\"");
}

void CheckSection(const std::string& section) {
    if (section.find_first_of("]\r\n") != std::string::npos)
        throw EConvertError("Недопустимое имя секции INI-файла: \""_a + section + "\"");
}

bool HexValue(char c, unsigned& v) {
    if (c >= '0' && c <= '9')
        v = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
        v = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        v = static_cast<unsigned>(c - 'A' + 10);
    else
        return false;
    return true;
}

bool ParseHex(std::string_view s, int32_t& out) {
    if (s.empty()) return false;
    uint64_t v = 0;
    for (char c : s) {
        unsigned d;
        if (!HexValue(c, d)) return false;
        v = v * 16 + d;
        if (v > 0xFFFFFFFFull) return false;
    }
    out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
}

[[noreturn]] void RaiseWriteError(const std::string& fileName, const std::string& reason) {
    throw EFCreateError("Не удалось записать файл|"_a + fileName + "\r\n" + reason +
                        "\r\nПрежнее содержимое файла сохранено."_a);
}

}  // namespace

// ---- value texts ---------------------------------------------------------------------

bool ParseIniInteger(std::string_view s, int32_t& out) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        return ParseHex(s.substr(2), out);
    if (s.size() > 1 && s[0] == '$') return ParseHex(s.substr(1), out);
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    if (i == s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return false;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > 2147483647LL) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ParseIniDate(std::string_view s, TDateTime& out) {
    if (s.size() != 8 || !std::all_of(s.begin(), s.end(), IsDigit)) return false;
    auto num = [&](size_t from, size_t len) {
        int v = 0;
        for (size_t k = from; k < from + len; ++k) v = v * 10 + (s[k] - '0');
        return v;
    };
    return TryEncodeDate(num(0, 4), num(4, 2), num(6, 2), out);
}

std::string IniDateText(TDateTime value) {
    // Days of 0001-01-01 and 9999-12-31.
    if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0)
        throw EConvertError("Invalid argument to date encode");
    int y, m, d;
    DecodeDate(value, y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}

bool ParseIniFloat(std::string_view s, double& out) {
    std::string t = Trim(s);
    char sep = DecimalSeparator();
    if (sep != '.') {
        if (t.find('.') != std::string::npos) return false;
        std::replace(t.begin(), t.end(), sep, '.');
    }
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty()) return false;
    double v = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

std::string Unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        return std::string(s.substr(1, s.size() - 2));
    return std::string(s);
}

void WriteFileAtomic(const std::string& fileName, std::string_view data) {
    File file;
    std::string temp = CreateSiblingTemp(fileName, file);
    if (temp.empty()) RaiseWriteError(fileName, LastErrorText());
    // The replacement keeps the old file's permissions: the settings may hold a password.
    if (auto target = ToPosixPath(fileName)) {
        struct stat st;
        if (stat(target->c_str(), &st) == 0) fchmod(file.fd(), st.st_mode & 07777);
    }
    int64_t written = file.Write(data.data(), static_cast<int64_t>(data.size()));
    bool ok = written == static_cast<int64_t>(data.size());
    if (!ok && written >= 0) SetLastError(kErrDiskFull);
    if (ok) ok = file.Flush();
    std::string reason = ok ? std::string() : LastErrorText();
    file.Close();
    if (ok && !ReplaceFile(temp, fileName)) {
        ok = false;
        reason = LastErrorText();
    }
    if (!ok) {
        DeleteFile(temp);
        RaiseWriteError(fileName, reason);
    }
}

// ---- TIniFile --------------------------------------------------------------------------

void TIniFile::Section::Reindex() {
    index.clear();
    for (size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].key.empty()) index.emplace(NameKey(lines[i].key), i);
}

TIniFile::TIniFile(const std::string& fileName, TIniWriteBack writeBack)
    : fileName_(fileName), writeBack_(writeBack) {
    LoadFromDisk();
}

std::unique_ptr<TIniFile> TIniFile::FromText(std::string_view text) {
    std::unique_ptr<TIniFile> ini(new TIniFile());
    ini->Parse(text);
    return ini;
}

TIniFile::~TIniFile() {
    if (writeBack_ == TIniWriteBack::Never || !modified_ || fileName_.empty()) return;
    try {
        Flush();
    } catch (const std::exception& e) {
        try {
            ShowError(e.what());
        } catch (...) {
        }
    }
}

void TIniFile::SetWriteBack(TIniWriteBack mode) {
    Lock lock(mutex_);
    writeBack_ = mode;
}

void TIniFile::Parse(std::string_view text) {
    preamble_.clear();
    sections_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        // CR LF, LF or a lone CR ends a line.
        pos = end;
        if (pos < text.size())
            pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;

        std::string t = Trim(line);
        if (t.empty()) continue;
        if (t[0] == '[') {
            size_t close = t.find(']');
            if (close != std::string::npos) {
                sections_.push_back(
                    Section{Trim(std::string_view(t).substr(1, close - 1)), {}, {}});
                continue;
            }
        }
        Line l;
        size_t eq = t[0] == ';' ? std::string::npos : t.find('=');
        if (eq != std::string::npos) {
            l.key = Trim(std::string_view(t).substr(0, eq));
            l.value = Trim(std::string_view(t).substr(eq + 1));
        }
        if (l.key.empty()) {
            l.value.clear();
            l.raw = std::string(line);
        }
        if (sections_.empty())
            preamble_.push_back(l.key.empty() ? l.raw : l.key + "=" + l.value);
        else
            sections_.back().lines.push_back(std::move(l));
    }
    for (Section& s : sections_) s.Reindex();
    ReindexSections();
}

void TIniFile::ReindexSections() {
    sectionIndex_.clear();
    for (size_t i = 0; i < sections_.size(); ++i)
        sectionIndex_.emplace(NameKey(sections_[i].name), i);
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const {
    auto it = sectionIndex_.find(NameKey(name));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

TIniFile::Section* TIniFile::FindSection(const std::string& name) {
    auto it = sectionIndex_.find(NameKey(name));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

const TIniFile::Line* TIniFile::FindLine(const std::string& section, const std::string& key) const {
    const Section* s = FindSection(section);
    if (!s) return nullptr;
    auto it = s->index.find(NameKey(key));
    return it == s->index.end() ? nullptr : &s->lines[it->second];
}

bool TIniFile::Lookup(const std::string& section, const std::string& key,
                      std::string& value) const {
    const Line* l = FindLine(section, key);
    if (!l) return false;
    value = Trim(l->value);
    return true;
}

void TIniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    CheckSection(section);
    CheckKey(key);
    Section* s = FindSection(section);
    if (!s) {
        sections_.push_back(Section{Trim(section), {}, {}});
        sectionIndex_.emplace(NameKey(section), sections_.size() - 1);
        s = &sections_.back();
    }
    std::string k = NameKey(key);
    auto it = s->index.find(k);
    if (it != s->index.end()) {
        s->lines[it->second].value = OneLine(value);
    } else {
        s->lines.push_back(Line{Trim(key), OneLine(value), {}});
        s->index.emplace(k, s->lines.size() - 1);
    }
    Changed();
}

void TIniFile::Changed() {
    modified_ = true;
    if (writeBack_ == TIniWriteBack::Immediate && updateCount_ == 0) Flush();
}

void TIniFile::Flush() {
    if (fileName_.empty()) {
        modified_ = false;
        return;
    }
    WriteFileAtomic(fileName_, TextUnlocked());
    modified_ = false;
    stamp_ = DiskStamp();
}

TIniFile::Stamp TIniFile::DiskStamp() const {
    Stamp st;
    auto posix = fileName_.empty() ? std::nullopt : ToPosixPath(fileName_);
    struct stat sb;
    if (!posix || stat(posix->c_str(), &sb) != 0) return st;
    st.exists = true;
    st.size = sb.st_size;
    st.mtimeNs = static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec;
    st.inode = static_cast<int64_t>(sb.st_ino);
    return st;
}

void TIniFile::LoadFromDisk() {
    modified_ = false;
    stamp_ = DiskStamp();
    if (!stamp_.exists) {
        Parse({});
        return;
    }
    File file;
    std::string text;
    bool ok = file.Open(fileName_, OpenMode::Read);
    if (ok) {
        char buf[65536];
        for (;;) {
            int64_t n = file.Read(buf, sizeof buf);
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0) break;
            text.append(buf, static_cast<size_t>(n));
        }
    }
    if (!ok) {
        uint32_t err = LastError();
        // Gone between the look and the open: as missing.
        if (err == kErrFileNotFound || err == kErrPathNotFound) {
            Parse({});
            return;
        }
        throw EFOpenError("Не удается прочитать файл|"_a + fileName_ + "\r\n" + LastErrorText());
    }
    Parse(text);
}

bool TIniFile::SectionExists(const std::string& section) const {
    Lock lock(mutex_);
    return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    Lock lock(mutex_);
    return FindLine(section, key) != nullptr;
}

std::vector<std::string> TIniFile::SectionNames() const {
    Lock lock(mutex_);
    std::vector<std::string> out;
    for (size_t i = 0; i < sections_.size(); ++i) {
        auto it = sectionIndex_.find(NameKey(sections_[i].name));
        if (it != sectionIndex_.end() && it->second == i) out.push_back(sections_[i].name);
    }
    return out;
}

std::vector<std::string> TIniFile::KeyNames(const std::string& section) const {
    Lock lock(mutex_);
    std::vector<std::string> out;
    const Section* s = FindSection(section);
    if (!s) return out;
    for (size_t i = 0; i < s->lines.size(); ++i) {
        const Line& l = s->lines[i];
        if (l.key.empty()) continue;
        auto it = s->index.find(NameKey(l.key));
        if (it != s->index.end() && it->second == i) out.push_back(l.key);
    }
    return out;
}

int TIniFile::KeyCount(const std::string& section) const {
    Lock lock(mutex_);
    const Section* s = FindSection(section);
    return s ? static_cast<int>(s->index.size()) : 0;
}

void TIniFile::EraseSection(const std::string& section) {
    Lock lock(mutex_);
    std::string k = NameKey(section);
    size_t before = sections_.size();
    std::erase_if(sections_, [&](const Section& s) { return NameKey(s.name) == k; });
    if (sections_.size() == before) return;
    ReindexSections();
    Changed();
}

void TIniFile::Clear() {
    Lock lock(mutex_);
    preamble_.clear();
    sections_.clear();
    sectionIndex_.clear();
    Changed();
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    Lock lock(mutex_);
    std::string v;
    return Lookup(section, key, v) ? v : def;
}

std::string TIniFile::ReadUnquoted(const std::string& section, const std::string& key,
                                   const std::string& def) const {
    Lock lock(mutex_);
    std::string v;
    return Lookup(section, key, v) ? Unquote(v) : def;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    Lock lock(mutex_);
    Set(section, key, value);
}

void TIniFile::WriteQuoted(const std::string& section, const std::string& key,
                           const std::string& value) {
    WriteString(section, key, "\"" + value + "\"");
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t def) const {
    Lock lock(mutex_);
    std::string v;
    int32_t out;
    return Lookup(section, key, v) && ParseIniInteger(v, out) ? out : def;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

TDateTime TIniFile::ReadDate(const std::string& section, const std::string& key,
                             TDateTime def) const {
    Lock lock(mutex_);
    std::string v;
    TDateTime out;
    return Lookup(section, key, v) && ParseIniDate(v, out) ? out : def;
}

void TIniFile::WriteDate(const std::string& section, const std::string& key, TDateTime value) {
    WriteString(section, key, IniDateText(value));
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
    std::string v = ReadUnquoted(section, key, {});
    if (v.empty()) return def;
    double out;
    if (!ParseIniFloat(v, out))
        throw EConvertError("'" + v + "' is not a valid floating point value");
    return out;
}

void TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteQuoted(section, key, FloatText(value));
}

void TIniFile::BeginUpdate() {
    Lock lock(mutex_);
    ++updateCount_;
}

void TIniFile::EndUpdate() {
    Lock lock(mutex_);
    if (updateCount_ > 0) --updateCount_;
    if (updateCount_ == 0 && modified_ && writeBack_ != TIniWriteBack::Never) Flush();
}

int TIniFile::UpdateCount() const {
    Lock lock(mutex_);
    return updateCount_;
}

bool TIniFile::Modified() const {
    Lock lock(mutex_);
    return modified_;
}

void TIniFile::UpdateFile() {
    Lock lock(mutex_);
    if (modified_) Flush();
}

void TIniFile::Close() {
    Lock lock(mutex_);
    if (writeBack_ != TIniWriteBack::Never && modified_) Flush();
}

void TIniFile::Reload() {
    Lock lock(mutex_);
    LoadFromDisk();
}

bool TIniFile::Refresh() {
    Lock lock(mutex_);
    if (fileName_.empty() || modified_ || updateCount_ > 0) return false;
    if (DiskStamp() == stamp_) return false;
    LoadFromDisk();
    return true;
}

std::string TIniFile::TextUnlocked() const {
    std::string out;
    for (const std::string& l : preamble_) out += l + "\r\n";
    for (const Section& s : sections_) {
        out += "[" + s.name + "]\r\n";
        for (const Line& l : s.lines)
            out += (l.key.empty() ? l.raw : l.key + "=" + l.value) + "\r\n";
        out += "\r\n";
    }
    return out;
}

std::string TIniFile::Text() const {
    Lock lock(mutex_);
    return TextUnlocked();
}

void TIniFile::SetText(std::string_view text) {
    Lock lock(mutex_);
    Parse(text);
    Changed();
}

void TIniFile::SaveToFile(const std::string& fileName) const {
    WriteFileAtomic(fileName, Text());
}

}  // namespace hv
