// quovpack's option parser and help layout, on a command table of the test's own.
#include "tools/command_options.h"

#include <gtest/gtest.h>

namespace {

// Each command line against a small table: the values it gives, or the usage error.
TEST(CommandOptions, ArgumentsParseAsTheTableSays) {
    const TCommandSpec Command = {"test", "usage: test\n", "Tests.\n",
                                  {{"program", 0, "FILE", "the program"},
                                   {"prompt", 0, nullptr, "ask"},
                                   {"output", 'o', "OUT", "where\nto write"},
                                   {"json", 0, nullptr, nullptr}},
                                  "Bye.\n"};
    struct {
        std::vector<std::string> Args;
        std::string Expected; // "program|output|prompt|positional", or the usage error
    } Cases[] = {
        {{"--program", "p", "-o", "o"}, "p|o|0|"},
        {{"x", "--program=p", "-oo", "--prompt", "y"}, "p|o|1|x,y"},
        {{"--prog", "p", "--out=o", "--", "-o"}, "p|o|0|-o"},
        {{"-", "--output", "-x"}, "|-x|0|-"},
        {{"--pro", "p"}, "unknown or ambiguous option --pro"},
        {{"--jsn"}, "unknown or ambiguous option --jsn"},
        {{"-q"}, "unknown option -q"},
        {{"--program"}, "option --program needs a value"},
        {{"-o"}, "option --output needs a value"},
        {{"--prompt=yes"}, "option --prompt takes no value"},
        {{"-o", "a", "--output", "b"}, "--output is given more than once"},
        {{"--program="}, "||0|"},
    };
    for (auto &C : Cases) {
        std::string Got;
        try {
            const TArgs Args = ParseArgs(C.Args, Command);
            Got = Args.One("program") + "|" + Args.One("output") + "|" +
                  (Args.Has("prompt") ? "1" : "0") + "|";
            for (size_t I = 0; I < Args.Positional.size(); ++I)
                Got += (I ? "," : "") + Args.Positional[I];
        } catch (const EUsage &E) {
            Got = E.Message;
        }
        EXPECT_EQ(Got, C.Expected);
    }
    EXPECT_EQ(FormatHelp(Command), "usage: test\n\nTests.\n\n"
                                   "  --program FILE    the program\n"
                                   "  --prompt          ask\n"
                                   "  -o, --output OUT  where\n"
                                   "                    to write\n"
                                   "\nBye.\n");
}

} // namespace
