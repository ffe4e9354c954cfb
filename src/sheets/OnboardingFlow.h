#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace brinmoor {

class AppModel;

// The steps of the first-run onboarding: welcome, the agent tools, the first workspace's name, a
// tip. The onboarding view owns one and draws from it; every effect goes through AppModel.
class OnboardingFlow : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int step READ step NOTIFY stepChanged)
    Q_PROPERTY(int total READ total WRITE setTotal NOTIFY totalChanged)
    Q_PROPERTY(QString wsName READ wsName WRITE setWsName NOTIFY wsNameChanged)
    Q_PROPERTY(bool canAdvance READ canAdvance NOTIFY canAdvanceChanged)
    Q_PROPERTY(QString stepLabel READ stepLabel NOTIFY stepChanged)
    Q_PROPERTY(QString footerTitle READ footerTitle NOTIFY stepChanged)
public:
    // The step that asks for the workspace name.
    static constexpr int nameStep = 2;
    static constexpr const char* firstColor = "5b8cee";

    explicit OnboardingFlow(QObject* parent = nullptr);
    // A flow on a given model (tests); the QML one uses the application's model.
    OnboardingFlow(AppModel* model, QObject* parent = nullptr);

    int step() const { return m_step; }
    int total() const { return m_total; }
    void setTotal(int total);
    QString wsName() const { return m_wsName; }
    void setWsName(const QString& name);
    bool canAdvance() const;
    QString stepLabel() const;
    QString footerTitle() const;

    // The next step; on the last one, creates the workspace and finishes. On the name step with
    // nothing but blanks typed it does nothing.
    Q_INVOKABLE void advance();
    Q_INVOKABLE void back();
    Q_INVOKABLE void commitAndFinish();
    // Ends the onboarding without creating anything.
    Q_INVOKABLE void skip();
    // Detects the tools whose status the model does not know yet, side by side (each off the GUI
    // thread): a login shell slow to start holds each probe up to its limit, which one after the
    // other would double.
    Q_INVOKABLE void detectUnknownTools();

signals:
    void stepChanged();
    void totalChanged();
    void wsNameChanged();
    void canAdvanceChanged();

private:
    void setStep(int step);
    // Runs `change` and reports a change of canAdvance that it caused.
    void tellingCanAdvance(const std::function<void()>& change);
    AppModel* model() const;

    QPointer<AppModel> m_model;
    int m_step = 0;
    int m_total = 4;
    QString m_wsName;
};

} // namespace brinmoor
