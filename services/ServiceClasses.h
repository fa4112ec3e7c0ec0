#pragma once
// Puts the program's service classes on the dispatch's class list. Part of module
// initialisation; calling it again adds nothing.
void RegisterServiceClasses();
