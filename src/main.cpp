#include "Unit1.h"
#include "widgets/Application.h"

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TForm1 form;
    form.show();
    app.exec();
    return 0;
}
