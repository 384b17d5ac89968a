#include "app/application.h"
#include "app/fmMain.h"

int main(int argc, char** argv) {
    flipbook::TApplication application(argc, argv);
    flipbook::TFormMain formMain;
    formMain.show();
    return application.exec();
}
