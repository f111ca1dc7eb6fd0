#include "search_settings.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "app_info.h"
#include "interfaces.h"
#include "texttable.h"

namespace {

// Organisation and version that name the settings: the key
// SoftWare\Vela\2.0 of the current user on Windows.
const char *const kOrganisation = "Vela";
const char *const kVersion = VELA_VERSION_TEXT;

// A stored value as a 32-bit integer.  Like a registry DWORD, values up to
// 4294967295 are taken and read back as signed; anything else keeps def.
int32_t ReadInt(const QSettings &settings, int name_id, int32_t def)
{
  QString name = QString::fromStdString(LoadStr(name_id));
  if (name.isEmpty() || !settings.contains(name))
    return def;
  QVariant v = settings.value(name);
  if (!v.canConvert<QString>())
    return def;
  bool ok = false;
  qlonglong n = v.toString().trimmed().toLongLong(&ok);
  if (!ok || n < INT32_MIN || n > UINT32_MAX)
    return def;
  return static_cast<int32_t>(static_cast<uint32_t>(n));
}

}  // namespace

TSearchSettings ReadSearchSettings()
{
  TSearchSettings s;
  // QSettings only reads the file; it writes nothing unless a value is set.
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kVersion);
  // The user's own settings only: no organisation-wide or system-wide
  // file (or registry key) supplies a value the user's file lacks.
  settings.setFallbacksEnabled(false);
  s.SerCnt = ReadInt(settings, TXT_REG_SERCNT, s.SerCnt);
  s.SerTim = ReadInt(settings, TXT_REG_SERTIM, s.SerTim);
  // QSettings reads a value with commas as a list of texts.
  const QVariant names = settings.value(SETTINGS_KEY_INTERFACES);
  if (names.canConvert<QStringList>())
    s.Interfaces = names.toStringList().join(QLatin1Char(',')).toStdString();
  return s;
}

std::string ApplyInterfaceSetting()
{
  std::string error;
  if (ChooseInterfaces(SplitInterfaceList(ReadSearchSettings().Interfaces), &error))
    return "";
  ChooseInterfaces({}, &error);
  return error;
}
