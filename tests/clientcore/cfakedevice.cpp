#include "cfakedevice.h"

#include "combase.h"

#include <QFile>
#include <QJsonDocument>

#include <dlfcn.h>

namespace {

const char kScript[] = R"(HKCR
{
	Inquix.Device.1 = s 'Device Class'
	{
		CLSID = s '{6C3E1A90-5B7D-4E0B-9F21-3A4D5C6B7E80}'
	}
	NoRemove CLSID
	{
		ForceRemove {6C3E1A90-5B7D-4E0B-9F21-3A4D5C6B7E80} = s 'Device Class'
		{
			ProgID = s 'Inquix.Device.1'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
		}
	}
}
)";

bool update(BOOL reg)
{
    const QString module = QStringLiteral(BRAMIX_FAKE_DEVICE_PATH);
    const COMREGREPLACEMENT replacement = {u"MODULE", reinterpret_cast<const OLECHAR *>(module.utf16())};
    return SUCCEEDED(ComRegistrarUpdate(kScript, reg, &replacement, 1));
}

int counter(const char *name)
{
    void *handle = ::dlopen(BRAMIX_FAKE_DEVICE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return 0; // not loaded: nothing made yet
    auto fn = reinterpret_cast<int (*)()>(::dlsym(handle, name));
    const int value = fn ? fn() : -1;
    ::dlclose(handle);
    return value;
}

} // namespace

bool CFakeDevice::install(const QString &answersFile)
{
    qputenv("BRAMIX_FAKE_DEVICE_ANSWERS", QFile::encodeName(answersFile));
    return update(COM_TRUE);
}

bool CFakeDevice::setAnswers(const QString &answersFile, const QJsonObject &answers)
{
    QFile file(answersFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QJsonDocument(answers).toJson()) > 0;
}

bool CFakeDevice::unregister()
{
    return update(COM_FALSE);
}

int CFakeDevice::liveObjects()
{
    return counter("FakeDeviceLiveObjects");
}

int CFakeDevice::queries()
{
    return counter("FakeDeviceQueries");
}
