// Registration in the class registry: registry scripts and type libraries.

#include "cclassregistry.h"
#include "ccomtext.h"
#include "combase.h"
#include "cregistrarscript.h"

#include <QFileInfo>
#include <QMap>
#include <QtGlobal>

namespace {

// Automation marshalling of dual interfaces, what a type library registration names for each one.
const char kAutomationProxy[] = "{00020424-0000-0000-C000-000000000046}";

HRESULT fromStatus(CClassRegistry::Status status)
{
    switch (status) {
    case CClassRegistry::Ok:
    case CClassRegistry::Abandoned:
        return S_OK;
    case CClassRegistry::ReadFailed:
        return REGDB_E_READREGDB;
    case CClassRegistry::WriteFailed:
        return REGDB_E_WRITEREGDB;
    }
    return E_FAIL;
}

QString versionText(WORD major, WORD minor)
{
    return QString::number(major, 16) + QLatin1Char('.') + QString::number(minor, 16);
}

} // namespace

extern "C" {

HRESULT ComRegistrarUpdate(
    const char *scriptUtf8, BOOL bRegister, const COMREGREPLACEMENT *replacements, int replacementCount)
{
    if (!scriptUtf8 || (replacementCount > 0 && !replacements))
        return E_INVALIDARG;
    QMap<QString, QString> table;
    for (int i = 0; i < replacementCount; ++i)
        if (replacements[i].name)
            table.insert(CComText::fromOle(replacements[i].name), CComText::fromOle(replacements[i].value));
    CRegistrarScript script;
    QString error;
    if (!script.parse(QString::fromUtf8(scriptUtf8), table, &error)) {
        qWarning("ComRegistrarUpdate: invalid registry script: %s", qPrintable(error));
        return DISP_E_EXCEPTION;
    }
    const CClassRegistry::Status status = CClassRegistry().update(
        [&](CRegistryTree &tree) {
            script.apply(tree, bRegister != COM_FALSE);
            return true;
        },
        &error);
    if (status != CClassRegistry::Ok)
        qWarning("ComRegistrarUpdate: %s", qPrintable(error));
    return fromStatus(status);
}

HRESULT ComRegisterTypeLib(const COMTYPELIBINFO *info, LPCOLESTR libraryPath)
{
    if (!info || !libraryPath || !*libraryPath)
        return E_INVALIDARG;
    const QString path = CComText::fromOle(libraryPath);
    const QString libid = CComText::guidText(info->libid);
    const QString iid = CComText::guidText(info->iid);
    const QString name = CComText::fromOle(info->name);
    const QString help = CComText::fromOle(info->helpString);
    const QString version = versionText(info->majorVersion, info->minorVersion);
    const QString versionKey = QStringLiteral("TypeLib\\%1\\%2").arg(libid, version);
    const QString helpDir = QFileInfo(path).absolutePath();
    const QString platform = sizeof(void *) == 8 ? QStringLiteral("win64") : QStringLiteral("win32");
    QString error;
    const CClassRegistry::Status status = CClassRegistry().update(
        [&](CRegistryTree &tree) {
            tree.removeKey(versionKey);
            tree.setValue(versionKey, QString(), help.isEmpty() ? name : help);
            tree.setValue(versionKey, QStringLiteral("Name"), name);
            tree.setValue(versionKey + QStringLiteral("\\FLAGS"), QString(), QStringLiteral("0"));
            tree.setValue(versionKey + QStringLiteral("\\HELPDIR"), QString(), helpDir);
            tree.setValue(
                versionKey + QLatin1Char('\\') + QString::number(info->lcid, 16) + QLatin1Char('\\') + platform,
                QString(), path);
            if (info->iid != IID_NULL) {
                const QString interfaceKey = QStringLiteral("Interface\\") + iid;
                tree.removeKey(interfaceKey);
                tree.setValue(interfaceKey, QString(), CComText::fromOle(info->interfaceName));
                tree.setValue(
                    interfaceKey + QStringLiteral("\\ProxyStubClsid"), QString(), QLatin1String(kAutomationProxy));
                tree.setValue(
                    interfaceKey + QStringLiteral("\\ProxyStubClsid32"), QString(), QLatin1String(kAutomationProxy));
                tree.setValue(interfaceKey + QStringLiteral("\\TypeLib"), QString(), libid);
                tree.setValue(interfaceKey + QStringLiteral("\\TypeLib"), QStringLiteral("Version"), version);
            }
            return true;
        },
        &error);
    if (status != CClassRegistry::Ok) {
        qWarning("ComRegisterTypeLib: %s", qPrintable(error));
        return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, int syskind)
{
    // One registration per library version is all that is ever made here, so the version is
    // removed whole, whichever locale and system kind the caller names.
    (void)lcid;
    (void)syskind;
    const QString libid = CComText::guidText(libID);
    const QString version = versionText(wVerMajor, wVerMinor);
    const QString libKey = QStringLiteral("TypeLib\\") + libid;
    const QString versionKey = libKey + QLatin1Char('\\') + version;
    bool registered = true;
    QString error;
    const CClassRegistry::Status status = CClassRegistry().update(
        [&](CRegistryTree &tree) {
            if (!tree.removeKey(versionKey)) {
                registered = false;
                return false;
            }
            if (tree.subKeys(libKey).isEmpty())
                tree.removeKey(libKey);
            for (const QString &iid : tree.subKeys(QStringLiteral("Interface"))) {
                const QString typeLibKey = QStringLiteral("Interface\\%1\\TypeLib").arg(iid);
                QString owner;
                QString ownerVersion;
                if (tree.value(typeLibKey, QString(), &owner) && owner.compare(libid, Qt::CaseInsensitive) == 0
                    && tree.value(typeLibKey, QStringLiteral("Version"), &ownerVersion)
                    && ownerVersion.compare(version, Qt::CaseInsensitive) == 0)
                    tree.removeKey(QStringLiteral("Interface\\") + iid);
            }
            return true;
        },
        &error);
    if (status == CClassRegistry::Abandoned && !registered)
        return TYPE_E_REGISTRYACCESS;
    if (status != CClassRegistry::Ok) {
        qWarning("UnRegisterTypeLib: %s", qPrintable(error));
        return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

} // extern "C"
