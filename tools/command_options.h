// quovpack's command line: each command's options in one table (TCommandSpec) that the parser
// and the help text both read, the parser itself, and the value forms options share. Owns
// nothing; the tables are static data.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The command line is wrong; the message says how. Nothing has been read or written.
class EUsage {
public:
    explicit EUsage(std::string Text) : Message(std::move(Text)) {}
    std::string Message;
};

// An option: its long name (without "--"), its one-letter form (0: none), the name of its
// value in the help text (null: a flag) and its help (lines after the first are indented
// under it; null: not listed).
struct TOptionSpec {
    const char *Long;
    char Short;
    const char *Value;
    const char *Help;
};

// A command: its usage lines, the paragraph that says what it does, its options, and the text
// behind them.
struct TCommandSpec {
    const char *Name;
    const char *Usage;
    const char *About;
    std::vector<TOptionSpec> Options;
    const char *Closing;
};

// The options of one command as given, and the other arguments.
class TArgs {
public:
    bool Has(const std::string &Long) const { return FValues.count(Long) != 0; }
    // The value of an option given at most once; empty when it is absent. Throws EUsage.
    std::string One(const std::string &Long) const;
    // The value of an option that must be given once, not empty. Throws EUsage.
    std::string Required(const std::string &Long) const;
    std::vector<std::string> All(const std::string &Long) const;
    std::vector<std::string> Positional;

private:
    friend TArgs ParseArgs(const std::vector<std::string> &, const TCommandSpec &);
    std::map<std::string, std::vector<std::string>> FValues; // flags have empty values
};

// Parses the arguments behind the command word: options in any order before, between or after
// the others, "--name VALUE", "--name=VALUE", a long name shortened as long as it stays
// unambiguous, "-oVALUE", "-o VALUE", and "--" before arguments that start with a dash. Every
// command also takes -h and --help. Throws EUsage.
TArgs ParseArgs(const std::vector<std::string> &Args, const TCommandSpec &Command);

// The command's help: usage, what it does, one line per listed option, the closing text.
std::string FormatHelp(const TCommandSpec &Command);

// "16M", "16MiB", "512K", "65536": a size in bytes (K and M are binary); 0 when the text is no
// such size.
uint64_t ParseSize(const std::string &Text);
