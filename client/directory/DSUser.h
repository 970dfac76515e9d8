// The client's user record: one directory user's credentials and the state of that
// user's login, with the directory operations run through the QDS client libraries.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

class DSUser {
public:
    // The one exception type of the directory layer.
    class DSError {
    public:
        explicit DSError(std::string text) : message(std::move(text)) {}
        // The complete error text, e.g. "setUserInfo() - Insufficient data" or
        // "QVDSLogin returned -669".
        std::string message;
    };

    // Fields in their declared order.
    const char* version;
    std::string userName;
    std::string password;
    std::string context;
    std::string server;  // carried and shown; no directory call uses it
    std::string tree;
    bool authenticated;
    bool loggedIn;
    std::uint8_t vendor;    // 1: the QDS client libraries
    std::uint8_t function;  // 1: authenticate and log in; 2: log out
    std::uint32_t contextHandle;
    std::uint32_t connHandle;

    DSUser();
    // Logs out an open login before the record goes.
    ~DSUser();
    DSUser(const DSUser&) = delete;
    DSUser& operator=(const DSUser&) = delete;

    // Parses a credential line (user, password, tree, context, server; comma, semicolon
    // and space separate; runs merge) into the five fields. Throws DSError
    // "setUserInfo() - Insufficient data" with no field changed when fewer than five fields.
    void setUserInfo(const char* line);

    // Runs the function the selectors name. Returns 1 when the operation completed,
    // -9999 for an unimplemented function, -10000 for an unimplemented vendor.
    std::int32_t execute();
    std::int32_t login();
    std::int32_t logout();
    // The login sequence: returns 1 or throws DSError naming the failing call and its code.
    std::int32_t qdsLogin();
    // The logout sequence: returns 1, never throws.
    std::int32_t qdsLogout();

private:
    // Releases the context, then the Unicode tables.
    void releaseContextAndTables();
    // Clean-up after the login call succeeded but a later step failed: log-out call,
    // releases, both flags clear.
    void endFailedLogin();
};
