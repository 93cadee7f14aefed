#include "ctestservice.h"

int main(int argc, char **argv)
{
    CTestService service(argc, argv);
    return service.exec();
}
