/* The installation-folder table with Wine playing Windows 98. */
#include "discovery_test.cpp"
