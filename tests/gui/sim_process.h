#pragma once
// zev1-sim as a child process for the GUI tests: started on a link in the test's own
// ports folder, its JSON lines collected as they arrive.
#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTest>
#include <vector>

namespace zev1::gui_test {

class sim_process {
public:
    sim_process() {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { collect(); });
    }
    ~sim_process() { stop(); }
    sim_process(const sim_process&) = delete;
    sim_process& operator=(const sim_process&) = delete;

    // Starts the simulator on link (unpaced) with the extra arguments; waits for "ready".
    bool start(const QString& link, const QStringList& extra) {
        QStringList args{QStringLiteral("--link"), link, QStringLiteral("--baud"),
                         QStringLiteral("0")};
        args += extra;
        process_.setProgram(QStringLiteral(ZEV1_SIM_PATH));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        return wait_for([this] { return count_if("event", "ready") > 0; }, 5000);
    }

    // Sends one command line on standard input (silent on, wrong-address on, ...).
    void command(const QByteArray& line) {
        process_.write(line + '\n');
        process_.waitForBytesWritten(1000);
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning) {
            return;
        }
        command("quit");
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    const std::vector<QJsonObject>& lines() const { return lines_; }

    // Frames the simulator received (checksum valid), optionally of one type only.
    std::vector<QByteArray> received(int type = -1) const {
        std::vector<QByteArray> frames;
        for (const QJsonObject& o : lines_) {
            if (o.value(QStringLiteral("dir")).toString() == QStringLiteral("rx") &&
                (type < 0 || o.value(QStringLiteral("type")).toInt() == type)) {
                frames.push_back(
                    QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1()));
            }
        }
        return frames;
    }

    std::size_t count_if(const char* key, const char* value) const {
        std::size_t n = 0;
        for (const QJsonObject& o : lines_) {
            if (o.value(QLatin1String(key)).toString() == QLatin1String(value)) {
                ++n;
            }
        }
        return n;
    }

    template <class Predicate>
    static bool wait_for(Predicate done, int timeout_ms) {
        return QTest::qWaitFor(done, timeout_ms);
    }

private:
    void collect() {
        buffer_ += process_.readAllStandardOutput();
        qsizetype end = 0;
        while ((end = buffer_.indexOf('\n')) >= 0) {
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            const QJsonDocument doc = QJsonDocument::fromJson(line);
            if (doc.isObject()) {
                lines_.push_back(doc.object());
            }
        }
    }

    QProcess process_;
    QByteArray buffer_;
    std::vector<QJsonObject> lines_;
};

} // namespace zev1::gui_test
