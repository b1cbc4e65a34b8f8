#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace sorvane::registry {

struct Registry::Node {
    QString name;
    std::vector<std::pair<QString, QString>> values; // name -> text, in the order set
    std::vector<std::unique_ptr<Node>> children;

    Node* child(const QString& n) const {
        for (const auto& c : children)
            if (c->name.compare(n, Qt::CaseInsensitive) == 0) return c.get();
        return nullptr;
    }
    const QString* value(const QString& n) const {
        for (const auto& v : values)
            if (v.first.compare(n, Qt::CaseInsensitive) == 0) return &v.second;
        return nullptr;
    }
    void setValue(const QString& n, const QString& text) {
        for (auto& v : values)
            if (v.first.compare(n, Qt::CaseInsensitive) == 0) {
                v.second = text;
                return;
            }
        values.emplace_back(n, text);
    }

    QJsonObject toJson() const {
        QJsonObject vals;
        for (const auto& v : values)
            vals.insert(v.first, v.second);
        QJsonObject keys;
        for (const auto& c : children)
            keys.insert(c->name, c->toJson());
        QJsonObject o;
        if (!vals.isEmpty()) o.insert(QStringLiteral("values"), vals);
        if (!keys.isEmpty()) o.insert(QStringLiteral("keys"), keys);
        return o;
    }
    static std::unique_ptr<Node> fromJson(const QString& name, const QJsonObject& o, int depth) {
        auto n = std::make_unique<Node>();
        n->name = name;
        const QJsonObject vals = o.value(QStringLiteral("values")).toObject();
        for (auto it = vals.begin(); it != vals.end(); ++it)
            if (it.value().isString()) n->setValue(it.key(), it.value().toString());
        if (depth > 64) return n; // a file nested deeper than any real key path
        const QJsonObject keys = o.value(QStringLiteral("keys")).toObject();
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            if (it.key().isEmpty() || n->child(it.key())) continue;
            n->children.push_back(fromJson(it.key(), it.value().toObject(), depth + 1));
        }
        return n;
    }
};

namespace {
const QString kClassesRoot = QStringLiteral("HKEY_CLASSES_ROOT");
const QString kCurrentUser = QStringLiteral("HKEY_CURRENT_USER");

// "a\b\\c" -> {"a", "b", "c"}: empty parts (doubled or trailing separators) are dropped.
QStringList SplitKey(const QString& subKey) {
    QStringList parts;
    QString part;
    for (QChar c : subKey) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('/')) {
            if (!part.isEmpty()) parts << part;
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.isEmpty()) parts << part;
    return parts;
}
} // namespace

QString DefaultRegistryPath() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/sorvane/registry.json");
}

Registry::Registry(QString path) : path_(std::move(path)) {
    load();
}

Registry::~Registry() = default;

void Registry::load() {
    classesRoot_ = std::make_unique<Node>();
    classesRoot_->name = kClassesRoot;
    currentUser_ = std::make_unique<Node>();
    currentUser_->name = kCurrentUser;
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly)) return;
    // The store holds a handful of keys; anything far larger is not ours.
    if (f.size() > 16 * 1024 * 1024) return;
    const QJsonObject doc = QJsonDocument::fromJson(f.readAll()).object();
    if (doc.contains(kClassesRoot))
        classesRoot_ = Node::fromJson(kClassesRoot, doc.value(kClassesRoot).toObject(), 0);
    if (doc.contains(kCurrentUser))
        currentUser_ = Node::fromJson(kCurrentUser, doc.value(kCurrentUser).toObject(), 0);
}

bool Registry::save() {
    QJsonObject doc;
    doc.insert(kClassesRoot, classesRoot_->toJson());
    doc.insert(kCurrentUser, currentUser_->toJson());
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Indented);
    QSaveFile f(path_);
    // Unbuffered, so that a write cut short shows in what write() returns.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = f.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) return false; // the file being written is dropped; the old one stays
        done += n;
    }
    return f.commit();
}

Registry::Node* Registry::root(HKEY r) const {
    if (r == HKEY_CLASSES_ROOT) return classesRoot_.get();
    if (r == HKEY_CURRENT_USER) return currentUser_.get();
    return nullptr;
}

// The root and the path of names that a key handle and a sub-key path name together.
// False when the handle is neither a root nor an open key.
bool Registry::target(HKEY key, const QString& subKey, HKEY* rootKey, QStringList* path) const {
    *rootKey = key;
    path->clear();
    if (!root(key)) {
        const auto it = handles_.find(key);
        if (it == handles_.end()) return false;
        *rootKey = it->second.first;
        *path = it->second.second;
    }
    *path += SplitKey(subKey);
    return true;
}

// The node at `subKey` below an open key or root; with `create`, missing keys on the way
// are made. Nothing when the handle is unknown or a key is missing.
Registry::Node* Registry::resolve(HKEY key, const QString& subKey, bool create) {
    HKEY rootKey = key;
    QStringList path;
    if (!target(key, subKey, &rootKey, &path)) return nullptr;
    Node* n = root(rootKey);
    for (const QString& part : path) {
        Node* c = n->child(part);
        if (!c) {
            if (!create) return nullptr;
            auto made = std::make_unique<Node>();
            made->name = part;
            c = made.get();
            n->children.push_back(std::move(made));
        }
        n = c;
    }
    return n;
}

long Registry::RegOpenKeyEx(HKEY key, const QString& subKey, std::uint32_t, HKEY* result) {
    if (!root(key) && !handles_.count(key)) return ERROR_INVALID_HANDLE;
    if (!resolve(key, subKey, false)) return ERROR_FILE_NOT_FOUND;
    HKEY rootKey = key;
    QStringList path;
    target(key, subKey, &rootKey, &path);
    const HKEY h = nextHandle_++;
    handles_[h] = {rootKey, path};
    if (result) *result = h;
    return ERROR_SUCCESS;
}

long Registry::RegQueryValueEx(HKEY key, const QString& valueName, QString* data, int chars) {
    if (!root(key) && !handles_.count(key)) return ERROR_INVALID_HANDLE;
    const Node* n = resolve(key, QString(), false);
    if (!n) return ERROR_FILE_NOT_FOUND;
    const QString* v = n->value(valueName);
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (v->size() + 1 > chars) return ERROR_MORE_DATA;
    if (data) *data = *v;
    return ERROR_SUCCESS;
}

long Registry::RegCreateKey(HKEY key, const QString& subKey, HKEY* result) {
    if (!root(key) && !handles_.count(key)) return ERROR_INVALID_HANDLE;
    const bool existed = resolve(key, subKey, false) != nullptr;
    if (!existed) {
        resolve(key, subKey, true);
        if (!save()) {
            load();
            return ERROR_ACCESS_DENIED;
        }
    }
    return RegOpenKeyEx(key, subKey, KEY_READ | KEY_WRITE, result);
}

long Registry::RegSetValue(HKEY key, const QString& subKey, std::uint32_t type,
                           const QString& data) {
    if (!root(key) && !handles_.count(key)) return ERROR_INVALID_HANDLE;
    if (type != REG_SZ) return ERROR_ACCESS_DENIED;
    const Node* existing = resolve(key, subKey, false);
    if (existing && existing->value(QString()) && *existing->value(QString()) == data)
        return ERROR_SUCCESS; // holds it already: nothing to write
    Node* n = resolve(key, subKey, true);
    if (!n) return ERROR_FILE_NOT_FOUND;
    n->setValue(QString(), data);
    if (!save()) {
        load();
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

long Registry::RegDeleteKey(HKEY key, const QString& subKey) {
    if (!root(key) && !handles_.count(key)) return ERROR_INVALID_HANDLE;
    HKEY rootKey = key;
    QStringList path;
    target(key, subKey, &rootKey, &path);
    if (path.isEmpty()) return ERROR_ACCESS_DENIED; // a root is never deleted
    Node* parent = root(rootKey);
    for (int i = 0; i + 1 < path.size() && parent; ++i)
        parent = parent->child(path[i]);
    if (!parent) return ERROR_FILE_NOT_FOUND;
    Node* target = parent->child(path.last());
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (!target->children.empty()) return ERROR_ACCESS_DENIED;
    auto& kids = parent->children;
    for (auto it = kids.begin(); it != kids.end(); ++it)
        if (it->get() == target) {
            kids.erase(it);
            break;
        }
    if (!save()) {
        load();
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

long Registry::RegCloseKey(HKEY key) {
    if (root(key)) return ERROR_SUCCESS;
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

bool Registry::keyExists(HKEY r, const QString& path) const {
    const Node* n = root(r);
    if (!n) return false;
    for (const QString& part : SplitKey(path)) {
        n = n->child(part);
        if (!n) return false;
    }
    return true;
}

} // namespace sorvane::registry
