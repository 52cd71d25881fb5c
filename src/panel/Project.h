// What the add-on reads of the open project: its key, names and folder. Host thread only.
#pragma once
#include <string>

// "untitled:" or "file:" followed by the project's path, else its name; "none" when the host
// cannot say.
std::string ProjectKey();
// The project's name; "Archicad" when the host gives none.
std::string ProjectName();
// The saved project's file name; empty for an unsaved project.
std::string ModelFileName();
// The saved project's folder when it exists; empty otherwise.
std::string ProjectFolder();
