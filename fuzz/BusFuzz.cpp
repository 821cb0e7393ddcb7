// The session bus service: any bytes as a run of calls handed straight to its dispatcher, as
// any program on the bus may send them, while a queue of good, corrupt and missing files
// plays on the manual clock. Methods, arguments and properties come from the service's own
// introspection data, so every method and property is tried whatever the service offers;
// the arguments are the hostile ones: foreign and stale track ids, negative, huge and NaN
// offsets and volumes, URIs of other schemes, relative, empty, of a megabyte or not UTF-8,
// missing or extra arguments and arguments of the wrong type.
#include "app/MprisInterfaceXml.h"
#include "app/MprisService.h"
#include "audio/SoundOutput.h"
#include "fuzz/FuzzSupport.h"
#include "queue/SorvaneDoc.h"
#include "settings/PlayerSettings.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QXmlStreamReader>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

namespace {

struct BusMember
{
    QString iface;
    QString name;
    QString signature; // a method's in arguments, one type each; a property's type
    bool bWritable = false;
};

struct BusShape
{
    std::vector<BusMember> methods;
    std::vector<BusMember> properties;
};

// The methods and properties the service describes of itself.
BusShape ReadShape()
{
    BusShape shape;
    QXmlStreamReader xml(QString::fromUtf8(kMprisInterfaceXml));
    QString iface;
    BusMember* pMethod = nullptr;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attrs = xml.attributes();
        const QStringView element = xml.name();
        if (element == u"interface") {
            iface = attrs.value(QLatin1String("name")).toString();
            pMethod = nullptr;
        } else if (element == u"method") {
            shape.methods.push_back(
                {iface, attrs.value(QLatin1String("name")).toString(), {}, false});
            pMethod = &shape.methods.back();
        } else if (element == u"signal") {
            pMethod = nullptr;
        } else if (element == u"arg" && pMethod != nullptr &&
                   attrs.value(QLatin1String("direction")) != QLatin1String("out")) {
            pMethod->signature += attrs.value(QLatin1String("type")).toString().left(1);
        } else if (element == u"property") {
            shape.properties.push_back(
                {iface, attrs.value(QLatin1String("name")).toString(),
                 attrs.value(QLatin1String("type")).toString(),
                 attrs.value(QLatin1String("access")).toString().contains(QLatin1String("write"))});
        }
    }
    if (shape.methods.empty() || shape.properties.empty())
        std::abort();
    return shape;
}

// A short quiet mono wave file.
std::string TinyWave()
{
    constexpr std::uint32_t kFrames = 800;
    std::string bytes;
    auto put = [&bytes](std::uint32_t value, int n) {
        for (int i = 0; i < n; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    bytes += "RIFF";
    put(36 + kFrames * 2, 4);
    bytes += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(8000, 4);
    put(16000, 4);
    put(2, 2);
    put(16, 2);
    bytes += "data";
    put(kFrames * 2, 4);
    bytes.append(kFrames * 2, '\0');
    return bytes;
}

struct BusWorld
{
    BusShape shape = ReadShape();
    std::vector<std::string> queue;
    std::string good;
    CPlayerSettings settings;
    std::unique_ptr<CSorvaneDoc> pDoc;
    std::unique_ptr<CMprisService> pService;
};

BusWorld* g_pWorld = nullptr;

QString TrackPath(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
    case 1:
        return QStringLiteral("/org/mpris/MediaPlayer2/track/%1")
            .arg(in.ConsumeIntegralInRange(-2, 4));
    case 2:
        return QStringLiteral("/org/mpris/MediaPlayer2/track/%1").arg(in.ConsumeIntegral<qint64>());
    default:
        return QStringLiteral("/");
    }
}

QString Uri(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 8)) {
    case 0:
        return QStringLiteral("file://") + QString::fromStdString(g_pWorld->good);
    case 1:
        return QStringLiteral("http://example.invalid/a.mp3");
    case 2:
        return QStringLiteral("good.wav");
    case 3:
        return {};
    case 4: {
        // Made once: a megabyte is costly to build for every input.
        static const QString huge = QStringLiteral("file://") + QString(1 << 20, u'a');
        return huge;
    }
    case 5:
        return QStringLiteral("file:///%FF%FE%C0.wav");
    case 6:
        return QStringLiteral("file://") + QString::fromStdString(FuzzDir()) +
               QStringLiteral("/missing.wav");
    case 7:
        return QStringLiteral("file://") + QString::fromStdString(FuzzDir()) +
               QStringLiteral("/list.m3u");
    default: {
        const std::string raw = in.ConsumeRandomLengthString(64);
        return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
    }
    }
}

double Number(FuzzedDataProvider& in)
{
    static constexpr double kNumbers[] = {std::numeric_limits<double>::quiet_NaN(),
                                          std::numeric_limits<double>::infinity(),
                                          -std::numeric_limits<double>::infinity(),
                                          -0.0,
                                          -1.0,
                                          0.0,
                                          0.5,
                                          1.0,
                                          2.0,
                                          1e308};
    return in.ConsumeBool() ? in.PickValueInArray(kNumbers) : in.ConsumeFloatingPoint<double>();
}

qint64 Offset(FuzzedDataProvider& in)
{
    static constexpr qint64 kOffsets[] = {0,
                                          -1,
                                          std::numeric_limits<qint64>::min(),
                                          std::numeric_limits<qint64>::max(),
                                          50'000,
                                          1'000'000,
                                          -1'000'000'000};
    return in.ConsumeBool() ? in.PickValueInArray(kOffsets) : in.ConsumeIntegral<qint64>();
}

// A value for a bus type; anything at all for 'v' and for types it does not know.
QVariant Value(FuzzedDataProvider& in, QChar type)
{
    static const QString kTypes = QStringLiteral("xosdbv");
    if (type == u'v' || !kTypes.contains(type))
        type = kTypes[in.ConsumeIntegralInRange<qsizetype>(0, kTypes.size() - 2)];
    switch (type.unicode()) {
    case u'x':
        return Offset(in);
    case u'o':
        return QVariant::fromValue(QDBusObjectPath(TrackPath(in)));
    case u's':
        return in.ConsumeBool() ? Uri(in)
                                : QString::fromStdString(in.ConsumeRandomLengthString(16));
    case u'd':
        return Number(in);
    default:
        return in.ConsumeBool();
    }
}

// The arguments of a method with signature: usually of its types, sometimes of others, one
// too few or one too many.
QList<QVariant> Arguments(FuzzedDataProvider& in, const QString& signature)
{
    QList<QVariant> args;
    const bool bWrongTypes = in.ConsumeIntegralInRange(0, 7) == 0;
    for (const QChar type : signature)
        args << Value(in, bWrongTypes ? QChar(u'v') : type);
    switch (in.ConsumeIntegralInRange(0, 15)) {
    case 0:
        if (!args.isEmpty())
            args.removeLast();
        break;
    case 1:
        args << Value(in, u'v');
        break;
    default:
        break;
    }
    return args;
}

QDBusMessage Call(const QString& iface, const QString& member, const QList<QVariant>& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QString::fromUtf8(CMprisService::kServiceName),
        QString::fromUtf8(CMprisService::kObjectPath), iface, member);
    message.setArguments(args);
    return message;
}

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage NextCall(FuzzedDataProvider& in)
{
    const BusShape& shape = g_pWorld->shape;
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
    case 1: {
        const BusMember& m =
            shape.methods[in.ConsumeIntegralInRange<std::size_t>(0, shape.methods.size() - 1)];
        return Call(in.ConsumeIntegralInRange(0, 7) == 0 ? QString() : m.iface, m.name,
                    Arguments(in, m.signature));
    }
    case 2: {
        const BusMember& p =
            shape
                .properties[in.ConsumeIntegralInRange<std::size_t>(0, shape.properties.size() - 1)];
        return Call(kProperties, QStringLiteral("Get"), {p.iface, p.name});
    }
    case 3: {
        const BusMember& p =
            shape
                .properties[in.ConsumeIntegralInRange<std::size_t>(0, shape.properties.size() - 1)];
        const QChar type = in.ConsumeBool() ? p.signature.front() : QChar(u'v');
        QVariant value = Value(in, type);
        if (p.signature == QStringLiteral("s") && in.ConsumeBool()) {
            static const char* const kWords[] = {"None", "Track", "Playlist", "", "none"};
            value = QString::fromUtf8(in.PickValueInArray(kWords));
        }
        return Call(kProperties, QStringLiteral("Set"),
                    {p.iface, p.name, QVariant::fromValue(QDBusVariant(value))});
    }
    case 4: {
        const BusMember& p =
            shape
                .properties[in.ConsumeIntegralInRange<std::size_t>(0, shape.properties.size() - 1)];
        return Call(kProperties, QStringLiteral("GetAll"), {p.iface});
    }
    default: {
        const std::string iface = in.ConsumeRandomLengthString(24);
        const std::string member = in.ConsumeRandomLengthString(16);
        return Call(QString::fromStdString(iface), QString::fromStdString(member),
                    Arguments(in, QStringLiteral("v")));
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The service must not reach a real session bus, nor show anything.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(FuzzDir()));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!SelectAudioOutput(AudioOutputKind::ManualClock))
        std::abort();
    new QApplication(*argc, *argv);
    InstallFuzzPrompts();
    g_pWorld = new BusWorld;
    BusWorld& world = *g_pWorld;
    world.good = WriteFuzzFile("good.wav", TinyWave());
    const std::string other = WriteFuzzFile("other.wav", TinyWave());
    const std::string bad = WriteFuzzFile("bad.wav", "RIFF\x10\0\0\0WAVEfmt junk");
    const std::string list =
        WriteFuzzFile("list.m3u", world.good + "\n" + FuzzDir() + "/missing.wav\n" + bad + "\n");
    world.queue = {world.good, bad, FuzzDir() + "/missing.mid", list, other};
    world.settings.UseFile(FuzzDir() + "/Sorvix.ini");
    world.pDoc = std::make_unique<CSorvaneDoc>();
    CSorvaneDoc* pDoc = world.pDoc.get();
    world.pService = std::make_unique<CMprisService>(
        *pDoc, world.settings, nullptr, [pDoc](int nId) { return pDoc->OnCmdMsg(nId); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InstallFuzzPrompts().messages.clear();
    BusWorld& world = *g_pWorld;
    FuzzedDataProvider in(data, size);
    world.pDoc->OpenFiles(world.queue);
    for (int calls = 0; calls < 32 && in.remaining_bytes() > 0; ++calls) {
        world.pService->Handle(NextCall(in));
        // Now and then the music moves on a little (the clock waits for slow producers).
        if (in.ConsumeIntegralInRange(0, 7) == 0)
            AdvanceManualAudioClock(10);
        QCoreApplication::processEvents();
    }
    world.pDoc->ClearQueue();
    QCoreApplication::processEvents();
    return 0;
}
