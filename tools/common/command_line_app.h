#pragma once
// What zev1-wifi and zev1-sim add to CLI11, so both command lines look and end alike:
// the help with the usage line first and each command listed with its options (as man
// pages made by help2man want it), one-line errors that point to --help, and the exit
// statuses 0 after --help and --version, 2 for a bad command line.
// Include it from one source file of a program only: CLI11 is slow to compile.
#include <CLI/CLI.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace zev1::tools {

class help_formatter final : public CLI::Formatter {
public:
    help_formatter() {
        label("SUBCOMMAND", "COMMAND");
        column_width(28);
    }

    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string groups; // each with one blank line before
        for (const std::string& group : app->get_groups()) {
            const auto options = app->get_options(
                [&group](const CLI::Option* opt) { return opt->get_group() == group; });
            groups += group.empty() || options.empty() ? "" : make_group(group, false, options);
        }
        return make_usage(app, name) + "\n" + make_description(app) + groups +
               make_subcommands(app, mode) + "\n" + make_footer(app);
    }

    // A command, then its options one level in.
    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_display_name(), sub->get_description(),
                                 get_column_width());
        for (const CLI::Option* opt : sub->get_options()) {
            if (opt != sub->get_help_ptr() && !opt->get_group().empty()) {
                CLI::detail::format_help(out,
                                         "  " + opt->get_name(false, true) + make_option_opts(opt),
                                         make_option_desc(opt), get_column_width());
            }
        }
        return out.str();
    }
};

// The help layout, --version printing "<program> <version>", and the last of a repeated
// option counting. Set up before options and commands are added: commands take the
// option defaults over from the program.
inline void set_up(CLI::App& app, std::string_view version) {
    app.formatter(std::make_shared<help_formatter>());
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", app.get_name() + " " + std::string(version),
                         "print the program name and version and exit");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

inline CLI::Validator not_empty(std::string what) {
    return {[what](const std::string& value) { return value.empty() ? "needs " + what : ""; }, ""};
}

struct parse_outcome {
    bool run = false; // the command line is good: carry it out
    int status = 0;   // otherwise the exit status,
    std::string text; // with the help or version for standard output (0), or the error line
};

// args without the program name.
inline parse_outcome parse(CLI::App& app, const std::vector<std::string>& args) {
    // CLI11 wants them last first. It reads "--name=" as "--name" still waiting for its
    // value, so "--key= --verify" would send "--verify" as the key; here "--name=" is the
    // empty value, as "--name ''" is.
    std::vector<std::string> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        if (it->size() > 3 && it->starts_with("--") && it->back() == '=' &&
            it->find('=') == it->size() - 1) {
            reversed.emplace_back();
            reversed.push_back(it->substr(0, it->size() - 1));
        } else {
            reversed.push_back(*it);
        }
    }
    try {
        app.parse(reversed);
        return {true, 0, {}};
    } catch (const CLI::CallForHelp&) {
        return {false, 0, app.help()};
    } catch (const CLI::CallForVersion& e) {
        return {false, 0, std::string(e.what()) + "\n"};
    } catch (const CLI::ParseError& e) {
        std::string message = e.what();
        std::string help = app.get_name();
        const std::vector<CLI::App*> chosen = app.get_subcommands();
        if (!chosen.empty()) {
            help += " " + chosen.front()->get_name();
        } else if (!app.remaining().empty()) {
            // A misspelt command: CLI11 would only say that one is required.
            message = CLI::ExtrasError(app.remaining()).what();
        }
        for (char& c : message) {
            c = c == '\n' ? ' ' : c;
        }
        return {false, 2, app.get_name() + ": " + message + " (see " + help + " --help)\n"};
    }
}

} // namespace zev1::tools
