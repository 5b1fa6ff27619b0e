// ZuZidero, the desktop program.

#include "app/zuzidero_app.h"

int main(int argc, char** argv)
{
    CZuZideroApp app(argc, argv);
    return app.Run();
}
