#include "delphi/DelpFls.h"

#include <vector>

#include "platform/AnsiLiteral.h"
#include "platform/CodePage.h"
#include "platform/Platform.h"
#include "util/Exception.h"
#include "util/FileUtils.h"
#include "util/StrUtils.h"

namespace hv {

namespace {

// Words are separated by blanks and ';' (tabs count as blanks).
constexpr std::string_view kDelims = " ;\t";

bool HasWord(std::string_view line, std::string_view word) {
    return WordPos(line, word, kDelims) > 0;
}

bool StartsRoutine(std::string_view line) {
    return HasWord(line, "function") || HasWord(line, "procedure");
}

// The source lines without comments, up to the first routine after "implementation".
std::vector<std::string> StripComments(const TStringList& lines) {
    std::vector<std::string> kept;
    bool inBraces = false;
    bool implementation = false;
    for (int n = 0; n < lines.Count(); ++n) {
        std::string s = lines[n];
        bool stop = false;
        for (;;) {
            if (inBraces) {
                size_t close = s.find('}');
                if (close == std::string::npos) {
                    s.clear();
                    break;
                }
                s.erase(0, close + 1);
                inBraces = false;
                continue;
            }
            size_t slashes = s.find("//");
            if (slashes != std::string::npos) s.erase(slashes);
            size_t open = s.find('{');
            if (open != std::string::npos) {
                size_t close = s.find('}', open + 1);
                if (close != std::string::npos) {
                    s.erase(open, close - open + 1);
                    continue;
                }
                s.erase(open);
                inBraces = true;
                break;
            }
            if (!implementation)
                implementation = HasWord(s, "implementation");
            else if (StartsRoutine(s))
                stop = true;
            break;
        }
        if (stop) break;
        if (!Trim(s).empty()) kept.push_back(s);
    }
    return kept;
}

// The pieces of the first two uses clauses.
std::vector<std::string> UsesPieces(const std::vector<std::string>& kept) {
    std::vector<std::string> pieces;
    bool implementation = false;
    int clauses = 0;
    size_t i = 0;
    while (i < kept.size() && clauses < 2) {
        const std::string& line = kept[i];
        int p = WordPos(line, "uses", kDelims);
        if (p > 0) {
            size_t from = static_cast<size_t>(p - 1) + 5;  // "uses" and one more character
            std::string text = from < line.size() ? line.substr(from) : std::string();
            for (;;) {
                std::string t = Trim(text);
                if (!t.empty()) pieces.push_back(t);
                size_t semi = t.find(';');
                if (semi != std::string::npos) {
                    pieces.back().erase(semi);
                    if (Trim(pieces.back()).empty()) pieces.pop_back();
                    ++clauses;
                    break;
                }
                if (++i >= kept.size()) break;
                text = kept[i];
            }
            ++i;
            continue;
        }
        if (!implementation)
            implementation = HasWord(line, "implementation");
        else if (StartsRoutine(line))
            break;
        ++i;
    }
    return pieces;
}

std::string EntryOf(const std::string& name) {
    std::string entry = name;
    int p = WordPos(entry, "in", " ");
    if (p > 0) {
        size_t from = static_cast<size_t>(p - 1) + 3;  // "in" and one blank
        std::string rest = Trim(from < entry.size() ? std::string_view(entry).substr(from) : "");
        if (rest.empty() || rest[0] != '\'') throw Exception("error in 'in'");
        size_t close = rest.find('\'', 1);
        entry = rest.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    if (ExtractFileExt(entry).empty()) entry += ".pas";
    return entry;
}

}  // namespace

void TDelphiProject::SetSearchDirs(const TStringList& list) {
    searchDirs_.Clear();
    for (int i = 0; i < list.Count(); ++i) searchDirs_.Add(list[i]);
}

bool TDelphiProject::FindUnitFile(std::string& name) const {
    if (name.empty()) return false;
    if (FileExists(name)) return true;
    const bool bare = ExtractFilePath(name).empty();
    if (!bare) {
        std::string expanded = ExpandFileName(name);
        if (FileExists(expanded)) {
            name = expanded;
            return true;
        }
        // A relative "in" path names a file beside the project, wherever the
        // program was started: try it below the search directories too.
        if (!ExtractFileDrive(name).empty() || name[0] == '\\' || name[0] == '/') return false;
    }
    for (int i = 0; i < searchDirs_.Count(); ++i) {
        if (Trim(searchDirs_[i]).empty()) continue;
        std::string candidate = AddBackslash(searchDirs_[i]) + name;
        if (!bare) candidate = ExpandFileName(candidate);
        if (FileExists(candidate)) {
            name = candidate;
            return true;
        }
    }
    return false;
}

bool TDelphiProject::ParseUnit(const std::string& fileName, TStringList& out) {
    std::string name = fileName;
    if (!FindUnitFile(name)) return false;
    out.BeginUpdate();
    try {
        out.Clear();
        TStringList lines;
        lines.LoadFromFile(name);
        std::vector<std::string> entries;
        for (const std::string& piece : UsesPieces(StripComments(lines))) {
            size_t start = 0;
            while (start <= piece.size()) {
                size_t comma = piece.find(',', start);
                if (comma == std::string::npos) comma = piece.size();
                std::string unit = Trim(std::string_view(piece).substr(start, comma - start));
                // "A,\n B;" leaves an empty name after the comma: no unit.
                if (!unit.empty()) entries.push_back(EntryOf(unit));
                start = comma + 1;
            }
        }
        for (const std::string& e : entries) out.Add(e);
    } catch (...) {
        out.EndUpdate();
        throw;
    }
    out.EndUpdate();
    return true;
}

void TDelphiProject::Collect(const std::string& projectFile, TStringList& out) {
    std::string dir = ExtractFilePath(projectFile);
    if (ExtractFileDrive(dir).empty()) dir = GetCurrentDir();
    bool known = false;
    for (int i = 0; i < searchDirs_.Count() && !known; ++i)
        known = SameText(RemoveBackslash(searchDirs_[i]), RemoveBackslash(dir));
    if (!known) searchDirs_.Insert(0, dir);

    TStringList found;
    ParseUnit(projectFile, found);
    files_.Clear();
    files_.AddObject("---  Проект:  "_a + projectFile, this);
    files_.AddObject(ExtractFileName(projectFile), this);
    for (int i = 0; i < found.Count(); ++i)
        if (files_.IndexOf(found[i]) < 0) files_.Add(found[i]);

    for (int i = 1; i < files_.Count(); ++i) {
        if (files_.Objects(i) == this) continue;
        const std::string entry = files_[i];
        files_.AddObject("---  Модуль:  "_a + entry, this);
        TStringList used;
        if (!ParseUnit(entry, used)) continue;
        files_.PutObject(i, this);
        for (int k = 0; k < used.Count(); ++k)
            if (files_.IndexOf(used[k]) < 0) files_.Add(used[k]);
    }
    out.Assign(files_);
}

}  // namespace hv
