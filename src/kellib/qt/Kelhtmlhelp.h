// The program's help: HTML pages in a help folder, topics such as
// "/html/login.htm" opened with the desktop's browser.
#pragma once

#include <QString>

// The folder holding html/; a missing folder makes every topic do nothing.
void SetHelpFile(const QString& folder);
QString HelpFile();
// False (and nothing happens) when the topic's page is missing.
bool ShowHelpTopic(const QString& topic);
