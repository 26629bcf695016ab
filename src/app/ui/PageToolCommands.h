#pragma once

#include "base/Prompter.h"

class QWidget;

namespace velmora {

class ProjectSession;

// The window's commands about the pages as they will go out: File > Page
// Options... and File > Check Pages....
class PageToolCommands {
public:
    PageToolCommands(QWidget& window, ProjectSession& session, Prompter& prompter);

    void editPageOptions();
    // Saves the project, checks its pages and lists the findings; a page
    // chosen there is shown.
    void checkPages();

private:
    QWidget& window_;
    ProjectSession& session_;
    Prompter& prompter_;
};

}  // namespace velmora
