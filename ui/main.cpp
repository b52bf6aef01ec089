// The desktop program dorvan.
#include "ui/nizyukidou.h"

int main(int argc, char* argv[]) { return dorvan::ui::Main(argc, argv); }
