// Help pages of the operations: a topic word (an operation's name, its
// group's name) leads to a page "f_op_..." in the folder "html_docs".
#pragma once

#include <string>

// The page of a topic ("negative" gives "f_op_negative"); empty when unknown.
std::string op_help_page(const char* topic);
// Opens the topic's page.  0 done; 1 when the topic is missing or unknown
// (message 23) or the desktop refused to open it (its error becomes the
// frame's title).
int op_help(const char* topic);
