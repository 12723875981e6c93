#include "ops/help.h"

#include "core/messages.h"
#include "ops/catalogue.h"
#include "core/platform.h"

#include <cstdio>
#include <strings.h>

namespace {

std::string lower(const char* s)
{
    std::string t = s;
    for (char& c : t)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

} // namespace

std::string op_help_page(const char* topic)
{
    if (!topic || !*topic)
        return {};
    // Operations by name, then groups (their page is that of their first operation).
    for (int i = 0; i < op_count(); ++i) {
        const OpDescriptor* d = op_at(i);
        if (strcasecmp(d->name, topic) == 0)
            return std::string("f_op_") + d->help_word;
    }
    int groups = 0;
    const OpGroup* g = op_groups(&groups);
    for (int k = 0; k < groups; ++k) {
        if (lower(topic) != g[k].help_topic)
            continue;
        for (int i = 0; i < op_count(); ++i)
            if (op_at(i)->group == g[k].command)
                return std::string("f_op_") + op_at(i)->help_word;
    }
    return {};
}

int op_help(const char* topic)
{
    if (!topic) {
        message_show(msg::NoHelpIndex, "No help index: NULL Pointer");
        return 1;
    }
    if (!*topic) {
        message_show(msg::NoHelpIndex, "No help index: Empty String");
        return 1;
    }
    std::string page = op_help_page(topic);
    if (page.empty()) {
        std::string text = std::string("No help index: \"") + topic + "\"";
        message_show(msg::NoHelpIndex, text.c_str());
        return 1;
    }
    std::string path = "html_docs/" + page + ".html";
    int r = ui::platform().open_document(path.c_str());
    if (r < 33) {
        char title[32];
        std::snprintf(title, sizeof title, "lasterror=%d", r);
        ui::platform().set_frame_title(title);
        return 1;
    }
    return 0;
}
