// Placeholder until the command tests land.
#include <QTest>
class TstPlayerCommands : public QObject {
    Q_OBJECT
};
QTEST_MAIN(TstPlayerCommands)
#include "tst_player_commands.moc"
