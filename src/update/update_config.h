// Where the updater looks: the maker's web server, the counter server, the
// time bound of every request, the program that opens a downloaded installer
// and the file with the counter server's account.
//
// Each value comes from the environment first, then from a key line of
// "RoviCon_380.ini" ("UpdateHost VALUE" and so on, after the settings the
// editor writes), then from the build's defaults.
//
//   PIMLORA_UPDATE_HOST          UpdateHost          host[:port] or an http:// / https:// prefix
//   PIMLORA_COUNTER_HOST         CounterHost         host[:httpport[:ftpport]]
//   PIMLORA_UPDATE_TIMEOUT       UpdateTimeout       seconds for connecting and for a stalled read
//   PIMLORA_OPENER               Opener              command that opens the installer (xdg-open)
//   PIMLORA_COUNTER_CREDENTIALS  CounterCredentials  file holding user:password, owner-only
//   PIMLORA_SITE_DOMAIN          SiteDomain          the web site named in setupfetch's dialog
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace update {

struct UpdateConfig {
    std::string updateHost;                 // as given
    std::string counterHost;                // as given; empty: no counter step
    int timeoutSeconds = 3;
    std::vector<std::string> opener{"xdg-open"};
    std::string credentialsFile;            // empty: no counter upload
    std::string siteDomain;
};

// The two forms of the maker's web server as URL prefixes without a trailing
// slash ("http://example.org", "http://www.example.org"). The value is the
// form without "www"; the other form gets "www." in front of the host name,
// except for an address or a value with a port, where both are the value.
struct HostForms {
    std::string bare, www;
};
HostForms MakerServer(const std::string& value);

// The counter server's two addresses.
struct CounterUrls {
    std::string http;   // ".../vandelore_update.txt" over HTTP
    std::string ftp;    // ".../www/vandelore_update.txt" over FTP
};
// False when the value is empty or malformed.
bool CounterServer(const std::string& value, CounterUrls& out);

// Reads the values: env is asked for a variable's value (null when unset),
// iniBytes is the content of "RoviCon_380.ini" (may be empty).
using EnvLookup = std::function<const char*(const char*)>;
UpdateConfig LoadConfig(const EnvLookup& env, const std::string& iniBytes);
// The same with the process environment and the per-user configuration file.
UpdateConfig LoadConfig();

// The value of a "KEY VALUE" line of the configuration file (the last one
// wins); false when there is none.
bool IniValue(const std::string& iniBytes, const std::string& key, std::string& value);

// Reads "user:password" from path; refused (false, with a reason) unless the
// file is a regular file of this user that nobody else may read or write.
bool ReadCredentials(const std::string& path, std::string& userColonPassword, std::string* why = nullptr);

// Per-user folders, as the editor uses them: $PIMLORA_HOME, else
// $XDG_CONFIG_HOME/pimlora and $XDG_CACHE_HOME/pimlora (made if missing).
std::string ConfigFolder();
std::string CacheFolder();

}  // namespace update
