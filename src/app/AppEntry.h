// The process entry: single instance, hand-over, help folder, main window.
#pragma once

int VaultleafMain(int argc, char** argv);
