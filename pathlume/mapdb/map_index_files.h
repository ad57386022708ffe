// The index files the program keeps open: "names.bin", the street types,
// "az.bin" and "linkinfo.bin", opened at start-up and again after a power resume.
#pragma once

class CMapDatabase;

// Opens g_namesFile, g_streetTypes, g_areaZones and g_linkInfo from the map data
// folder. A file that does not open stays closed; its readers answer empty. A
// "names.bin" with a wrong magic is reported and stays closed (the program goes on
// without street names). 0, or 1 when "names.bin" or "sttypes.bin" is there but cut
// short (said in a message box; the file stays closed): such a map is not to be used.
int OpenMapIndexFiles();
// Checks the magic of the "names.bin" just opened: a wrong one is reported once and
// the file closed, and it is not opened again (NamesFileRefused) until the next
// OpenMapIndexFiles. False when refused.
bool AcceptNamesFile();
bool NamesFileRefused();
// At shutdown: closes them and frees the street types.
void CloseMapIndexFiles();
// After a power resume: "linkinfo.bin" is reopened (up to 20 tries, 250 ms apart,
// until its magic reads again) at its old position, then "names.bin" and "az.bin",
// then the database's map files. 0, or 1 when "linkinfo.bin" did not come back;
// otherwise the database's ReopenFiles result.
int ReopenMapIndexFiles(CMapDatabase& database);
