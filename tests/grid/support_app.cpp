// Every grid test runs inside the program's application object (offscreen),
// set up the same way as for the platform tests.
#include "platform/support_app.cpp"
