#pragma once

// A registry of keys and text values with the semantics the program's file type
// registration expects of the Windows registry: keys below predefined roots, a default
// (unnamed) value per key, keys created along their path, key and value names compared
// without regard to case, and a key that still has sub-keys refused for deletion.
//
// The keys live in a small file in the user's configuration folder; every change is written
// to it at once (replacing the file only when it is written whole). Each Registry object
// reads the file when it is made, so short-lived objects always see what others wrote.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace sorvane::registry {

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

// Status codes of the registry calls.
inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_HANDLE = 6;
inline constexpr long ERROR_MORE_DATA = 234;

// Access rights and value types.
inline constexpr std::uint32_t KEY_READ = 0x20019;
inline constexpr std::uint32_t KEY_WRITE = 0x20006;
inline constexpr std::uint32_t REG_SZ = 1;

// The store's file: "sorvane/registry.json" in the user's configuration folder
// ($XDG_CONFIG_HOME, else ~/.config).
QString DefaultRegistryPath();

class Registry {
public:
    explicit Registry(QString path = DefaultRegistryPath());
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // Opens an existing key below `key` (a root or an open key); an empty sub-key opens
    // `key` itself again.
    long RegOpenKeyEx(HKEY key, const QString& subKey, std::uint32_t access, HKEY* result);
    // Reads a value (empty name = the default value). `chars` is the room of the caller's
    // buffer in characters, terminating NUL included; a value that does not fit gives
    // ERROR_MORE_DATA. A key whose default value was never set has no default value.
    long RegQueryValueEx(HKEY key, const QString& valueName, QString* data, int chars);
    // Opens a key, creating it and every missing key on its path.
    long RegCreateKey(HKEY key, const QString& subKey, HKEY* result);
    // Sets the default value of the sub-key (created when missing; empty = `key` itself).
    long RegSetValue(HKEY key, const QString& subKey, std::uint32_t type, const QString& data);
    // Deletes the sub-key (empty = `key` itself); refused while it has sub-keys.
    long RegDeleteKey(HKEY key, const QString& subKey);
    long RegCloseKey(HKEY key);

    // For inspection: whether a key exists and its value, by path below a root.
    bool keyExists(HKEY root, const QString& path) const;
    QString path() const { return path_; }

    struct Node;

private:
    Node* root(HKEY root) const;
    Node* resolve(HKEY key, const QString& subKey, bool create);
    bool target(HKEY key, const QString& subKey, HKEY* rootKey, QStringList* path) const;
    bool save();
    void load();

    QString path_;
    std::unique_ptr<Node> classesRoot_;
    std::unique_ptr<Node> currentUser_;
    std::map<HKEY, std::pair<HKEY, QStringList>> handles_; // handle -> root and key path
    HKEY nextHandle_ = 0x100;
};

} // namespace sorvane::registry
