// The launcher's application object: it runs the launcher window modally and
// ends the program when the window ends.
#pragma once

#include <QApplication>

class CSetupApp : public QApplication {
    Q_OBJECT
public:
    CSetupApp(int& argc, char** argv);

    // Runs the launcher window to its end. Always answers false: the program
    // ends when the window has ended, whatever its end code.
    bool InitInstance();
};
