#include "screen/atspi_guard.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QEvent>
#include <QHash>
#include <QPointer>
#include <QXmlStreamReader>

namespace screen {

namespace {

const QString kAccessiblePath = QStringLiteral("/org/a11y/atspi/accessible");
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString kBusName = QStringLiteral("a11y");  // the name Qt's bridge connects under
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kTable = QStringLiteral("org.a11y.atspi.Table");

// The number of complete types in a D-Bus signature, e.g. 2 for "ia(so)".
int CountTypes(const QString& signature) {
    int count = 0;
    int depth = 0;
    for (const QChar c : signature) {
        if (c == u'(' || c == u'{') {
            ++depth;
        } else if (c == u')' || c == u'}') {
            --depth;
            if (depth == 0) ++count;
        } else if (depth == 0 && c != u'a') {
            ++count;  // a basic type, or the element ending an array
        }
    }
    return count;
}

class BridgeGuard : public QDBusVirtualObject {
public:
    BridgeGuard(QDBusVirtualObject* bridge, QObject* parent)
        : QDBusVirtualObject(parent), bridge_(bridge) {}

    QString introspect(const QString& path) const override {
        return bridge_ ? bridge_->introspect(path) : QString();
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (!bridge_) return false;
        if (const QString refusal = Refusal(message); !refusal.isEmpty()) {
            connection.send(message.createErrorReply(QDBusError::InvalidArgs, refusal));
            return true;
        }
        if (message.interface() == kTable && AnswerRowOrColumn(message, connection)) return true;
        return bridge_->handleMessage(message, connection);
    }

private:
    // Why a call may not reach the bridge, or empty.
    QString Refusal(const QDBusMessage& message) {
        const QString member = message.member();
        const int given = CountTypes(message.signature());
        if (message.interface() == kProperties) {
            if (member == QLatin1String("GetAll"))
                return QStringLiteral(
                    "GetAll is not supported here; ask with Get for each property");
            if ((member == QLatin1String("Get") && message.signature() != QLatin1String("ss")) ||
                (member == QLatin1String("Set") && message.signature() != QLatin1String("ssv")))
                return QStringLiteral("%1 takes the signature %2")
                    .arg(member, member == QLatin1String("Get") ? "ss" : "ssv");
            return {};
        }
        const int wanted = InArguments(message).value(member, 0);
        if (given < wanted)
            return QStringLiteral("%1.%2 takes %3 arguments")
                .arg(message.interface(), member)
                .arg(wanted);
        if (message.interface() == kTable && !CellArgumentsInside(message))
            return QStringLiteral("%1 names no cell of this table").arg(member);
        return {};
    }

    // The number of arguments each method of the message's interface takes,
    // as the bridge itself describes them.
    const QHash<QString, int>& InArguments(const QDBusMessage& message) {
        const QString interface = message.interface();
        if (!methods_.contains(interface)) {
            QXmlStreamReader xml(
                QStringLiteral("<node>%1</node>").arg(bridge_->introspect(message.path())));
            QString current;
            QString method;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement) continue;
                const auto attributes = xml.attributes();
                if (xml.name() == QLatin1String("interface")) {
                    current = attributes.value(QLatin1String("name")).toString();
                    methods_[current];
                } else if (xml.name() == QLatin1String("method")) {
                    method = attributes.value(QLatin1String("name")).toString();
                    methods_[current][method] = 0;  // an interface may be described twice
                } else if (xml.name() == QLatin1String("arg") &&
                           attributes.value(QLatin1String("direction")) == QLatin1String("in")) {
                    methods_[current][method] +=
                        CountTypes(attributes.value(QLatin1String("type")).toString());
                }
            }
        }
        return methods_[interface];
    }

    static QAccessibleInterface* Target(const QDBusMessage& message) {
        if (message.path() == kRootPath) return QAccessible::queryAccessibleInterface(qApp);
        const QString id = message.path().section(u'/', -1);
        bool ok = false;
        const QAccessible::Id number = id.toUInt(&ok);
        return ok ? QAccessible::accessibleInterface(number) : nullptr;
    }

    // The bridge takes the cell at a row and column, or at an index, as
    // given and uses it without looking.
    static bool CellArgumentsInside(const QDBusMessage& message) {
        static const QStringList byPlace = {"GetColumnExtentAt", "GetRowExtentAt", "IsSelected"};
        static const QStringList byIndex = {"GetRowColumnExtentsAtIndex"};
        const QString member = message.member();
        if (!byPlace.contains(member) && !byIndex.contains(member)) return true;
        QAccessibleInterface* target = Target(message);
        QAccessibleTableInterface* table = target ? target->tableInterface() : nullptr;
        if (!table) return true;  // the bridge turns it down itself
        const QList<QVariant> args = message.arguments();
        int row = 0;
        int col = 0;
        if (byIndex.contains(member)) {
            const int index = args.value(0).toInt();
            if (table->columnCount() <= 0 || index < 0) return false;
            row = index / table->columnCount();
            col = index % table->columnCount();
        } else {
            row = args.value(0).toInt();
            col = args.value(1).toInt();
        }
        return row >= 0 && col >= 0 && row < table->rowCount() && col < table->columnCount() &&
               table->cellAt(row, col) != nullptr && table->cellAt(row, col)->tableCellInterface();
    }

    // The bridge answers -1 for the row of a column header and the column of
    // a row header, and the index within the row for a row header's row.
    static bool AnswerRowOrColumn(const QDBusMessage& message, const QDBusConnection& connection) {
        const bool row = message.member() == QLatin1String("GetRowAtIndex");
        if (!row && message.member() != QLatin1String("GetColumnAtIndex")) return false;
        QAccessibleInterface* target = Target(message);
        if (!target || !target->tableInterface()) return false;
        QAccessibleInterface* child = target->child(message.arguments().value(0).toInt());
        QAccessibleTableCellInterface* cell = child ? child->tableCellInterface() : nullptr;
        const int answer = !cell ? -1 : row ? cell->rowIndex() : cell->columnIndex();
        connection.send(message.createReply(answer));
        return true;
    }

    QPointer<QDBusVirtualObject> bridge_;
    QHash<QString, QHash<QString, int>> methods_;
};

void GuardNow() {
    QDBusConnection bus(kBusName);
    if (!bus.isConnected()) return;
    auto* bridge = qobject_cast<QDBusVirtualObject*>(bus.objectRegisteredAt(kAccessiblePath));
    if (!bridge || dynamic_cast<BridgeGuard*>(bridge)) return;
    // The guard lives and dies with the bridge it stands in front of.
    auto* guard = new BridgeGuard(bridge, bridge);
    bus.unregisterObject(kAccessiblePath);
    if (!bus.registerVirtualObject(kAccessiblePath, guard, QDBusConnection::SubPath)) {
        bus.registerVirtualObject(kAccessiblePath, bridge, QDBusConnection::SubPath);
        delete guard;
    }
}

// The bridge registers itself on the bus right after telling that
// accessibility is on; the guard follows once that is done.
class BridgeWatcher : public QObject, public QAccessible::ActivationObserver {
public:
    void accessibilityActiveChanged(bool active) override {
        if (active) GuardSoon();
    }

    void GuardSoon() { QCoreApplication::postEvent(this, new QEvent(kGuard)); }

protected:
    bool event(QEvent* event) override {
        if (event->type() != kGuard) return QObject::event(event);
        GuardNow();
        return true;
    }

private:
    static inline const QEvent::Type kGuard =
        static_cast<QEvent::Type>(QEvent::registerEventType());
};

}  // namespace

void GuardAccessibilityBus() {
    // Made once and kept to the end: Qt keeps a pointer to it.
    static auto* watcher = new BridgeWatcher;
    static const bool installed = (QAccessible::installActivationObserver(watcher), true);
    (void)installed;
    if (QAccessible::isActive()) watcher->GuardSoon();
}

}  // namespace screen
