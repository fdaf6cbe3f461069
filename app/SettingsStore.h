// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>

class QSettings;

namespace corvane {

// The four profile calls: integer and string values by section and value name.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual int readInt(const QString& section, const QString& name, int defaultValue) = 0;
    virtual QString readString(const QString& section, const QString& name,
                               const QString& defaultValue) = 0;
    // Failures are silent: the result only tells tests what happened.
    virtual bool writeInt(const QString& section, const QString& name, int value) = 0;
    virtual bool writeString(const QString& section, const QString& name, const QString& value) = 0;
};

// The settings of the maker "Brontal" and application "Corvane" in an INI file, one group per
// section. Each call opens the file, does its one operation and closes it again: no cache,
// so two instances never write back stale values. A file that cannot be parsed is copied
// aside (".corrupt", ".corrupt.2", ...) before anything is written over it. Strings holding
// bytes that are not UTF-8 keep them.
class IniSettingsStore : public SettingsStore {
  public:
    // The per-user file of organization/application (~/.config/Brontal/Corvane.conf).
    IniSettingsStore();
    explicit IniSettingsStore(const QString& fileName);

    const QString& fileName() const { return fileName_; }

    int readInt(const QString& section, const QString& name, int defaultValue) override;
    QString readString(const QString& section, const QString& name,
                       const QString& defaultValue) override;
    bool writeInt(const QString& section, const QString& name, int value) override;
    bool writeString(const QString& section, const QString& name, const QString& value) override;

    static QString defaultFileName(const QString& organization, const QString& application);
    // Where the value of `name` in `section` ("General" or "" for the top) lies in the bytes of
    // an INI file, as written (quotes and escapes included); false when it is not there.
    static bool findRawValue(const QByteArray& ini, const QString& section, const QString& name,
                             qsizetype* begin, qsizetype* end);

  private:
    bool write(const QString& section, const QString& name, const QVariant& value);
    void keepCorruptFileAside(QSettings& s);

    QString fileName_;
    bool keptAside_ = false;
};

}  // namespace corvane
