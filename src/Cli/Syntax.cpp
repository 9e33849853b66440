// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/Syntax.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <system_error>

namespace Syntax {

namespace {

// Option descriptions start in this column of their line, or further right when a label
// needs it, leaving at least three spaces after the longest.
constexpr std::size_t kDescriptionColumn = 27;

std::string withNewline(std::string text) {
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text;
}

std::string fullName(const CLI::App& app) {
    const CLI::App* parent = app.get_parent();
    return parent != nullptr ? fullName(*parent) + " " + app.get_name() : app.get_name();
}

bool takesValue(const CLI::Option& option) {
    return option.get_items_expected_max() > 0;
}

bool listed(const CLI::App& app, const CLI::Option& option) {
    return &option != app.get_help_ptr() && option.nonpositional() &&
           option.get_group() != kUnlisted;
}

std::string labelOf(const CLI::Option& option) {
    std::string label = option.get_name(false, true);
    if (takesValue(option)) {
        label += " " + option.get_type_name();
    }
    return label;
}

// "  --jobs N                 files at once, ...", continuation lines aligned under the first.
std::string optionLine(const CLI::Option& option, std::size_t column) {
    std::string line = "  " + labelOf(option);
    line.append(column - line.size(), ' ');
    const std::string description = option.get_description();
    for (std::size_t start = 0; start < description.size();) {
        const std::size_t end = std::min(description.find('\n', start), description.size());
        if (start > 0) {
            line += std::string(column, ' ');
        }
        line += description.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return withNewline(line);
}

// The listed options of `app` and of its subcommands (each name once), by group in the order
// the groups first appear.
std::string optionLists(const CLI::App& app) {
    std::vector<const CLI::Option*> options;
    std::set<std::string> names;
    std::vector<std::string> groups;
    auto collect = [&](const CLI::App& owner) {
        for (const CLI::Option* option : owner.get_options()) {
            if (listed(owner, *option) && names.insert(option->get_name()).second) {
                options.push_back(option);
                if (std::find(groups.begin(), groups.end(), option->get_group()) == groups.end()) {
                    groups.push_back(option->get_group());
                }
            }
        }
    };
    collect(app);
    for (const CLI::App* sub : app.get_subcommands(std::function<bool(const CLI::App*)>())) {
        collect(*sub);
    }
    std::size_t column = kDescriptionColumn;
    for (const CLI::Option* option : options) {
        column = std::max(column, 2 + labelOf(*option).size() + 3);
    }
    std::string text;
    for (const std::string& group : groups) {
        text += "\n" + group + ":\n";
        for (const CLI::Option* option : options) {
            if (option->get_group() == group) {
                text += optionLine(*option, column);
            }
        }
    }
    return text;
}

class Formatter : public CLI::FormatterBase {
public:
    explicit Formatter(std::vector<std::string> forms) : m_forms(std::move(forms)) {}

    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::vector<std::string> forms;
        if (app->get_parent() == nullptr) {
            forms = m_forms;
        }
        if (forms.empty()) {
            for (const CLI::App* sub :
                 app->get_subcommands(std::function<bool(const CLI::App*)>())) {
                forms.push_back(synopsis(*sub));
            }
        }
        if (forms.empty()) {
            forms.push_back(synopsis(*app));
        }
        std::string text = "usage: " + forms.front() + "\n";
        for (std::size_t i = 1; i < forms.size(); ++i) {
            text += "       " + forms[i] + "\n";
        }
        if (!app->get_description().empty()) {
            text += "\n" + withNewline(app->get_description());
        }
        text += optionLists(*app);
        if (!app->get_footer().empty()) {
            text += "\n" + withNewline(app->get_footer());
        }
        return text;
    }

private:
    std::vector<std::string> m_forms;
};

std::string bracketed(const std::string& item, bool required) {
    return required ? " " + item : " [" + item + "]";
}

} // namespace

std::unique_ptr<CLI::App> app(const std::string& name, const std::string& description,
                              std::vector<std::string> forms) {
    auto created = std::make_unique<CLI::App>(description, name);
    created->formatter(std::make_shared<Formatter>(std::move(forms)));
    created->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    created->set_help_flag("-h,--help", "print this help and exit");
    return created;
}

std::string synopsis(const CLI::App& app) {
    std::string line = fullName(app);
    for (const CLI::Option* option : app.get_options()) {
        if (!option->nonpositional() || option == app.get_help_ptr()) {
            continue;
        }
        if (takesValue(*option)) {
            line += bracketed(option->get_name() + " " + option->get_type_name(),
                              option->get_required());
        } else if (option->get_group() != kUnlisted) {
            line += bracketed(option->get_name(), false);
        }
    }
    for (const CLI::Option* option : app.get_options()) {
        if (!option->nonpositional()) {
            const bool several = option->get_items_expected_max() > 1;
            line +=
                bracketed(option->get_name(true) + (several ? "..." : ""), option->get_required());
        }
    }
    return line;
}

CLI::Validator wholeNumber(long long lowest, long long highest) {
    return CLI::Validator(
        [lowest, highest](std::string& text) -> std::string {
            long long value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (text.empty() || error != std::errc() || stop != end || value < lowest ||
                value > highest) {
                return "'" + text + "' is not a whole number from " + std::to_string(lowest) +
                       " to " + std::to_string(highest);
            }
            return {};
        },
        "");
}

CLI::Validator oneOf(std::vector<std::string> names) {
    return CLI::Validator(
        [names = std::move(names)](std::string& text) -> std::string {
            if (std::find(names.begin(), names.end(), text) != names.end()) {
                return {};
            }
            std::string problem = "'" + text + "' is not one of ";
            for (std::size_t i = 0; i < names.size(); ++i) {
                problem += (i > 0 ? ", " : "") + names[i];
            }
            return problem;
        },
        "");
}

Reading read(CLI::App& app, const std::vector<std::string>& arguments, std::ostream& out,
             std::ostream& err) {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
        return Reading::proceed;
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return Reading::help;
    } catch (const CLI::ParseError& error) {
        err << refusal(app.get_name(), problemOf(app, error), app.help());
        return Reading::refused;
    }
}

std::string problemOf(const CLI::App& app, const CLI::ParseError& error) {
    const std::string message = error.what();
    // CLI11 checks what is required before what is left over; an unknown option explains a
    // missing one better than the other way round.
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
        dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        const std::vector<std::string> extras = app.remaining(true);
        if (!extras.empty()) {
            const std::string& first = extras.front();
            return first + (first.size() > 1 && first.front() == '-' ? ": unknown option"
                                                                     : ": unexpected argument");
        }
    }
    // CLI11 says "--target: 1 required email|web|small missing".
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr &&
        message.ends_with(" missing") && message.find(": ") != std::string::npos) {
        return message.substr(0, message.find(": ")) + ": needs a value";
    }
    return message;
}

std::string refusal(std::string_view program, std::string_view problem, std::string_view help) {
    const std::size_t blank = help.find("\n\n");
    std::string text = std::string(program) + ": " + std::string(problem) + "\n";
    text += withNewline(
        std::string(help.substr(0, blank == std::string_view::npos ? help.size() : blank + 1)));
    return text + "Try '" + std::string(program) + " --help' for more information.\n";
}

} // namespace Syntax
