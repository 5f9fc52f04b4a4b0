#include "Unit1.h"
#include "widgets/Application.h"

// The tool reads no command line, environment or file of its own: every default lives in the
// window's form description.
int main(int argc, char** argv)
{
    Application app(argc, argv);
    {
        TForm1 form;
        form.show();
        app.exec();
        // The window goes here with everything it owns, the connection among them, while the
        // application object is still there.
    }
    // Every way of closing the window is a normal end.
    return 0;
}
