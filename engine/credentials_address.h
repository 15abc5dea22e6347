#pragma once
// The address that carries the credentials after a 401: the ID and the
// password as user information in front of the host.
#include <string>

// Percent-encodes every byte except RFC 3986's unreserved characters, so
// that ":", "@", "/", "#" and the like stay inside the user information.
std::string EncodeUserInfoPart(const std::string& text);

// `address` without the user information of its authority, if any.
std::string WithoutUserInfo(const std::string& address);

// `address` with "<id>:<password>@" (each part encoded) in front of its
// host, after the scheme's "//"; an address without a scheme is completed
// with "http://" first. User information the address already carries is
// replaced, never kept alongside.
std::string AddressWithCredentials(const std::string& address, const std::string& userId,
                                   const std::string& password);
