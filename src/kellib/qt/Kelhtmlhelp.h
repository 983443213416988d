// The program's help: HTML pages in a help folder, topics such as
// "/html/login.htm" opened in the program's help viewer when one is set,
// else with the desktop's browser.
#pragma once

#include <QString>

#include <functional>

// The folder holding html/; a missing folder makes every topic do nothing.
void SetHelpFile(const QString& folder);
QString HelpFile();
// Shows a page of the help folder (its full path); empty: the desktop's browser.
void SetHelpViewer(std::function<bool(const QString& page)> viewer);
// False (and nothing happens) when the topic's page is missing.
bool ShowHelpTopic(const QString& topic);
