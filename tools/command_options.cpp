#include "tools/command_options.h"

#include <algorithm>
#include <cctype>

namespace {

const TOptionSpec HelpOption = {"help", 'h', nullptr, nullptr};

std::string NameOf(const TOptionSpec &Option) {
    return std::string("--") + Option.Long;
}

// The option a long name (without "--") means: exact, or the one option it begins.
const TOptionSpec *FindLong(const std::vector<TOptionSpec> &Options, const std::string &Name) {
    const TOptionSpec *Found = nullptr;
    int Matches = 0;
    for (const TOptionSpec &Option : Options) {
        const std::string Long = Option.Long;
        if (Long == Name)
            return &Option;
        if (!Name.empty() && Long.compare(0, Name.size(), Name) == 0) {
            Found = &Option;
            ++Matches;
        }
    }
    return Matches == 1 ? Found : nullptr;
}

const TOptionSpec *FindShort(const std::vector<TOptionSpec> &Options, char Letter) {
    for (const TOptionSpec &Option : Options)
        if (Option.Short == Letter)
            return &Option;
    return nullptr;
}

} // namespace

std::string TArgs::One(const std::string &Long) const {
    auto It = FValues.find(Long);
    if (It == FValues.end())
        return std::string();
    if (It->second.size() > 1)
        throw EUsage("--" + Long + " is given more than once");
    return It->second[0];
}

std::string TArgs::Required(const std::string &Long) const {
    if (!Has(Long))
        throw EUsage("--" + Long + " is required");
    std::string Value = One(Long);
    if (Value.empty())
        throw EUsage("--" + Long + " must not be empty");
    return Value;
}

std::vector<std::string> TArgs::All(const std::string &Long) const {
    auto It = FValues.find(Long);
    return It == FValues.end() ? std::vector<std::string>() : It->second;
}

TArgs ParseArgs(const std::vector<std::string> &Args, const TCommandSpec &Command) {
    std::vector<TOptionSpec> Options = Command.Options;
    Options.push_back(HelpOption);
    TArgs Result;
    for (size_t I = 0; I < Args.size(); ++I) {
        const std::string &Arg = Args[I];
        if (Arg == "--") {
            Result.Positional.insert(Result.Positional.end(), Args.begin() + I + 1, Args.end());
            break;
        }
        if (Arg.size() < 2 || Arg[0] != '-') {
            Result.Positional.push_back(Arg);
            continue;
        }
        if (Arg[1] == '-') {
            const size_t Equals = Arg.find('=');
            const TOptionSpec *Option = FindLong(Options, Arg.substr(2, Equals - 2));
            if (!Option)
                throw EUsage("unknown or ambiguous option " + Arg);
            if (!Option->Value && Equals != std::string::npos)
                throw EUsage("option " + NameOf(*Option) + " takes no value");
            std::string Value;
            if (Equals != std::string::npos)
                Value = Arg.substr(Equals + 1);
            else if (Option->Value && ++I < Args.size())
                Value = Args[I];
            else if (Option->Value)
                throw EUsage("option " + NameOf(*Option) + " needs a value");
            Result.FValues[Option->Long].push_back(Value);
            continue;
        }
        // One-letter options, flags run together ("-h"), a value attached or following.
        for (size_t At = 1; At < Arg.size(); ++At) {
            const TOptionSpec *Option = FindShort(Options, Arg[At]);
            if (!Option)
                throw EUsage(std::string("unknown option -") + Arg[At]);
            if (!Option->Value) {
                Result.FValues[Option->Long].push_back(std::string());
                continue;
            }
            std::string Value = Arg.substr(At + 1);
            if (Value.empty() && ++I < Args.size())
                Value = Args[I];
            else if (Value.empty())
                throw EUsage("option " + NameOf(*Option) + " needs a value");
            Result.FValues[Option->Long].push_back(Value);
            break;
        }
    }
    return Result;
}

std::string FormatHelp(const TCommandSpec &Command) {
    std::vector<std::string> Labels;
    size_t Width = 0;
    for (const TOptionSpec &Option : Command.Options) {
        std::string Label = Option.Short ? std::string("-") + Option.Short + ", " : "";
        Label += NameOf(Option);
        if (Option.Value)
            Label += std::string(" ") + Option.Value;
        Labels.push_back(Label);
        if (Option.Help)
            Width = std::max(Width, Label.size());
    }
    std::string Text = std::string(Command.Usage) + "\n" + Command.About;
    if (Width != 0)
        Text += "\n";
    for (size_t I = 0; I < Command.Options.size(); ++I) {
        if (!Command.Options[I].Help)
            continue;
        std::string Label = Labels[I];
        Label.resize(Width + 2, ' ');
        const std::string Indent(Width + 4, ' ');
        const std::string Help = Command.Options[I].Help;
        Text += "  " + Label;
        for (size_t From = 0; From < Help.size();) {
            size_t End = Help.find('\n', From);
            End = End == std::string::npos ? Help.size() : End;
            Text += (From ? Indent : std::string()) + Help.substr(From, End - From) + "\n";
            From = End + 1;
        }
    }
    if (Command.Closing && *Command.Closing)
        Text += std::string("\n") + Command.Closing;
    return Text;
}

uint64_t ParseSize(const std::string &Text) {
    size_t Digits = 0;
    uint64_t Value = 0;
    while (Digits < Text.size() && Text[Digits] >= '0' && Text[Digits] <= '9' && Value < (1u << 30))
        Value = Value * 10 + uint64_t(Text[Digits++] - '0');
    std::string Unit = Text.substr(Digits);
    for (char &C : Unit)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    if (Digits == 0 || Value >= (1u << 30))
        return 0;
    if (Unit.empty() || Unit == "b")
        return Value;
    if (Unit == "k" || Unit == "kib")
        return Value << 10;
    if (Unit == "m" || Unit == "mib")
        return Value << 20;
    return 0;
}
