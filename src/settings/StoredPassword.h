#pragma once
// Passwords in the site file: scrambled byte by byte (Scramble). A scrambled password that a
// profile line cannot carry back unchanged (a NUL, CR or LF inside; a blank, tab or quote at
// either end, as any "é" in UTF-8 produces) is written instead as "~" and the scrambled bytes
// in hexadecimal, between double quotes. No plain scrambled value that survives reading starts
// with a quote, so the two forms cannot be confused, and every other password is written
// exactly as before.

#include <optional>
#include <string>

namespace pelmar {

// The text to write as the value of the Password key.
std::string StoredPasswordValue(const std::string& password);
// The password from the Password key's value exactly as stored in the file.
std::string PasswordFromStored(const std::string& rawValue);

}  // namespace pelmar
