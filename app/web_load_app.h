// CWebLoadApp: the application object. Runs the main window modally.
#pragma once

#include <QApplication>

#include <string>
#include <vector>

namespace kelvarin {

class CWebLoadApp : public QApplication {
  public:
    // Starts the application. args is the command line as the process got
    // it (Qt removes its own options from argc/argv; args keeps them all).
    CWebLoadApp(int& argc, char** argv, std::vector<std::string> args);

    // Runs the main window modally until it closes. Returns false: no
    // message loop follows, the application ends with the window.
    bool InitInstance();

  private:
    std::vector<std::string> m_args;
};

}  // namespace kelvarin
