#pragma once
// HTTP login as a client answers it: the challenges a 401 answer's
// WWW-Authenticate headers hold, and the Authorization header that answers
// a Digest or a Basic one. MD5 and SHA-256, each also as "-sess"; the "auth"
// protection, or none for a server of the oldest form, which offers no
// qop. Digest keeps the password off the wire, so it is preferred to
// Basic whenever a server offers both.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// One challenge: its scheme in lower case, and its parameters with names in
// lower case and values as meant (quotes and escapes taken off).
struct AuthChallenge {
  std::string scheme;
  std::vector<std::pair<std::string, std::string>> params;

  // The first value of parameter `name` (lower case), or nullptr.
  const std::string* Param(std::string_view name) const;
};

// The challenges of one WWW-Authenticate header value, in their order. A
// header may hold several, separated by commas, as may the quoted values.
std::vector<AuthChallenge> ParseAuthChallenges(std::string_view value);

// A Digest challenge this client can answer.
struct DigestChallenge {
  std::string realm;
  std::string nonce;
  std::optional<std::string> opaque;  // echoed as given
  std::string algorithm;              // as the server named it; empty: MD5
  bool sha256 = false;
  bool session = false;  // "-sess": the key also covers both nonces
  bool qopAuth = false;  // false: the form without qop, nc and cnonce
  bool stale = false;    // the nonce expired; the credentials were right
};

// The first Digest challenge among `challenges` whose algorithm and
// protection this client knows, and whose realm, nonce and opaque it can
// echo in an ASCII header, as a server lists them from the one it prefers;
// nullopt when there is none.
std::optional<DigestChallenge> UsableDigest(const std::vector<AuthChallenge>& challenges);

// Whether one of `challenges` is Basic.
bool OffersBasic(const std::vector<AuthChallenge>& challenges);

// The Authorization header's value that answers a Basic challenge: the
// credentials as they are, in Base64, for anyone on the way to read.
std::string BasicAuthorization(std::string_view user, std::string_view password);

struct DigestRequest {
  std::string method;  // "GET"
  std::string uri;     // the request target as sent: path and query
  std::string user;    // UTF-8
  std::string password;
  std::string cnonce;       // see NewClientNonce
  unsigned nonceCount = 1;  // requests made with this nonce, this one included
};

// The Authorization header's value that answers `challenge`: ASCII only,
// a user name beyond printable ASCII goes percent-encoded as "username*".
std::string DigestAuthorization(const DigestChallenge& challenge, const DigestRequest& request);

// A client nonce no server can foresee: 32 hexadecimal digits.
std::string NewClientNonce();

}  // namespace platform
