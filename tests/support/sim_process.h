#pragma once
// Starts the real veldra-sim (the program VELDRA_SIM names) and waits for its ready line.

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

inline QString simProgram() { return QString::fromLocal8Bit(qgetenv("VELDRA_SIM")); }

// The simulator as a child process; stopped (SIGTERM, then SIGKILL) when the
// object goes away so a failing test leaves nothing behind.
class SimProcess {
public:
    ~SimProcess() { stop(); }

    bool start(const QStringList &args, QString *why) {
        if (simProgram().isEmpty()) {
            *why = QStringLiteral("VELDRA_SIM is not set");
            return false;
        }
        m_proc.setProgram(simProgram());
        // The simulator ends with the test even when the test crashes. A real device
        // answers whatever the PC is doing; a raised priority (where allowed) keeps the
        // simulated one as prompt when the machine is loaded.
        m_proc.setChildProcessModifier([] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::setpriority(PRIO_PROCESS, 0, -5) != 0) { /* not permitted: keep the default */
            }
        });
        m_proc.setArguments(args);
        m_proc.start();
        if (!m_proc.waitForStarted(10000)) {
            *why = m_proc.errorString();
            return false;
        }
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (m_proc.canReadLine()) {
                const QByteArray line = m_proc.readLine();
                if (line == "veldra-sim ready\n") return true;
                continue;
            }
            if (m_proc.state() == QProcess::NotRunning) break;
            m_proc.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        *why = QStringLiteral("no ready line; stderr: ") +
               QString::fromLocal8Bit(m_proc.readAllStandardError());
        return false;
    }

    void stop() {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(5000)) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    // SIGTERM and wait; returns the exit code, or -1 if it did not end normally.
    int terminateAndWait() {
        m_proc.terminate();
        if (!m_proc.waitForFinished(10000)) return -1;
        return m_proc.exitStatus() == QProcess::NormalExit ? m_proc.exitCode() : -1;
    }

    QProcess &process() { return m_proc; }
    qint64 pid() const { return m_proc.processId(); }
    bool running() const { return m_proc.state() == QProcess::Running; }

    QByteArray stderrSoFar() {
        m_stderr += m_proc.readAllStandardError();
        return m_stderr;
    }

private:
    QProcess m_proc;
    QByteArray m_stderr;
};
