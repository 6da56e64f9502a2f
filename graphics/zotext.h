// The text functions of core/vxtext.h for code that holds its text in the framework's narrow string (a
// std::string of CP932 bytes) instead of VXString. Each follows its twin exactly; see core/vxtext.h.
#pragma once

#include <string>

char* hstrncpy(char* dst, const char* src, unsigned int max, bool stopAtComma);  // VXhstrncpy
void SeparateString(const std::string& text, std::string* parts, int count);    // VXSeparateString
int HexToInt(const std::string& s);                                              // VXHexToInt
std::string DivideFront(const std::string& s, int n);                            // VXDivideFront
std::string DivideRear(const std::string& s, int n);                             // VXDivideRear
std::string ZoTrim(const std::string& s);                                        // VXTrim
std::string ZoTrimLeft(const std::string& s);                                    // VXTrimLeft
std::string ZoTrimRight(const std::string& s);                                   // VXTrimRight
bool WildCardCmp(const char* pattern, const char* name);                         // VXWildCardCmp
std::string IntToWideStr(int value, int digits);                                 // VXIntToWideStr
