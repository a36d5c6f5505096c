#pragma once
// What the CSP keeps for the whole process, outside any handle: the token chosen by serial,
// the password for the token operations that follow, and the container names last read from
// each token, which stay listed while that token is away (opening one then reports the
// missing token, as a card provider does when its card was pulled).
#include <string>
#include <vector>

namespace providerstate {

// False when no token is chosen: the first token present is used.
bool selectedSerial(std::string* serial);
// Null forgets the choice.
void selectSerial(const std::string* serial);

// False when no password is set.
bool password(std::string* out);
// Null clears the password.
void setPassword(const char* password);

void rememberNames(const std::string& serial, const std::vector<std::string>& names);
std::vector<std::string> knownNames(const std::string& serial);

}  // namespace providerstate
