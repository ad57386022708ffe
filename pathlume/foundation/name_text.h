// How place and street names compare: letter case, '-' and '*' as blanks, brackets
// after a compared character and accents all aside. Names are single-byte Latin-1
// text. The destination lists and the map database share these.
#pragma once

// An accented Latin-1 capital (192-220) becomes its base letter; every other byte,
// lower-case accented letters included, is returned unchanged.
unsigned char FoldAccentedChar(unsigned char character);

// Compares two names ignoring case, '-' and '*' as blanks, the bracket after a
// compared character, and accents (names that differ only in accents still order
// by their first accented pair). limit -1: no limit.
int CompareNoCase(const char* a, const char* b, int limit);
// The comparison key: upper case, brackets dropped, '-' and '*' as blanks, accents
// folded. `out` holds at least strlen(name) + 1 bytes.
void MakeSearchKey(const char* name, char* out);
// As MakeSearchKey, brackets kept.
void MakeMatchText(const char* name, char* out);
