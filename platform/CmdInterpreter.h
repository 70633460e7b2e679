// The command interpreter stand-in: runs the DOS batch files the system
// writes for DOS archivers so that the Linux archivers make the archive the
// run expects.
#pragma once

#include <string>
#include <vector>

namespace hv {

// One line of a batch file (1251 text).
struct BatchLine {
    enum class Kind { Empty, EchoOff, EchoOn, Echo, Rem, Cd, Call };
    Kind kind = Kind::Empty;
    bool quiet = false;            // '@' prefix
    std::string text;              // ECHO text, CD path
    std::vector<std::string> words;  // program and arguments of a call
    std::string outFile;           // > or >> target
    bool append = false;
    std::string inFile;            // < source
};
BatchLine ParseBatchLine(const std::string& line);

// A program call after path translation.
struct ProgramCall {
    std::string program;            // the word as written, or the Linux program chosen
    std::vector<std::string> args;
    std::string stdinFile;          // POSIX path, empty for none
    std::vector<std::string> notes;  // remarks for the output (options dropped, …)
};

// The Linux program that stands for a DOS archiver's call: "Arj"/"ARJ.EXE"
// -> arj unchanged; the PKZIP form "-a ARCHIVE @LIST" -> "zip ARCHIVE -@" with
// the list on standard input; anything else unchanged. Pure.
ProgramCall AdaptCall(const ProgramCall& call);

// Translates one argument: drive and network paths, also behind a '!' or '@'
// list-file prefix, become POSIX paths; a list file is replaced by a
// translated copy written to CopyDir (one name a line, LF, '/' separators, 8.3
// names expanded, OEM text made UTF-8), whose path is appended to Copies.
std::string TranslateArgument(const std::string& arg, const std::string& copyDir,
                              std::vector<std::string>& copies);
// The translated copy of a list file's text (OEM in, UTF-8 out), names relative
// to the current directory where they lie below it.
std::string TranslateListText(const std::string& oemText);

// arj 3.10 spins for ever on a name that begins with a dot and has no
// directory part, when it packs it and when it unpacks it. Such names of a
// translated list (one name a line) go in as Via + "/../" + name, which arj
// stores as written and unpacks to the right place; the rest are unchanged.
// Via is a subdirectory of the current directory. Pure.
std::string RouteArjDotNames(const std::string& listText, const std::string& via);
// Whether a translated list holds such a name.
bool HasTopLevelDotName(const std::string& listText);

// Finds a program on PATH without regard to case and without .EXE/.COM;
// empty when there is none.
std::string FindProgram(const std::string& word);

// Runs a batch file (POSIX path); returns the exit status of the last program.
int RunBatchFile(const std::string& posixPath);

}  // namespace hv
