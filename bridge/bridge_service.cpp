// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/bridge_service.h"

#include "bridge/line_face.h"
#include "bridge/mqtt_face.h"
#include "bridge/pjlink_face.h"
#include "bridge/projector_service.h"
#include "bridge/web_face.h"

namespace {

// What a reload cannot change without a new broker connection.
bool sameBroker(const BridgeOptions &a, const BridgeOptions &b)
{
    return a.brokerHost == b.brokerHost && a.brokerPort == b.brokerPort && a.username == b.username &&
           a.password == b.password && a.caFile == b.caFile && a.topicPrefix == b.topicPrefix &&
           a.clientId == b.clientId && a.homeAssistantStatusTopic == b.homeAssistantStatusTopic;
}

} // namespace

BridgeService::BridgeService(const BridgeOptions &options, QObject *parent,
                             const SessionTimerFactory &makeTimer)
    : QObject(parent), options_(options), projectors_(std::make_unique<ProjectorService>(this, makeTimer))
{
    connect(projectors_.get(), &ProjectorService::log, this, &BridgeService::log);
    projectors_->apply(options);
    mqtt_ = std::make_unique<MqttFace>(options, *projectors_, this, makeTimer);
    connect(mqtt_.get(), &MqttFace::log, this, &BridgeService::log);
    line_ = std::make_unique<LineFace>(*projectors_, this, makeTimer);
    connect(line_.get(), &LineFace::log, this, &BridgeService::log);
    web_ = std::make_unique<WebFace>(options, *projectors_, this, makeTimer);
    connect(web_.get(), &WebFace::log, this, &BridgeService::log);
    pjlink_ = std::make_unique<PjlinkFace>(options, *projectors_, this, makeTimer);
    connect(pjlink_.get(), &PjlinkFace::log, this, &BridgeService::log);
}

BridgeService::~BridgeService()
{
    // The faces let go of the projectors before the projectors go.
    mqtt_.reset();
    line_.reset();
    web_.reset();
    pjlink_.reset();
}

bool BridgeService::start(QString *error)
{
    projectors_->start();
    return line_->start(error) && mqtt_->start(error) && web_->start(error) && pjlink_->start(error);
}

void BridgeService::stop()
{
    web_->stop();
    pjlink_->stop();
    line_->stop();
    projectors_->stop(QStringLiteral("bridge stopping"));
    mqtt_->stop();
}

void BridgeService::reload(const BridgeOptions &options)
{
    if (!sameBroker(options, options_))
        emit log(QStringLiteral("reload: the [broker] settings changed; they take effect at the next start"));
    if (options.webListen != options_.webListen || options.webToken != options_.webToken)
        emit log(QStringLiteral("reload: the [web] settings changed; they take effect at the next start"));
    // What a reload changes: the projectors and how they are asked. The
    // broker connection and the page stay as they are.
    options_.projectors = options.projectors;
    options_.pollSeconds = options.pollSeconds;
    options_.queueLimit = options.queueLimit;
    projectors_->apply(options_);
    emit log(QStringLiteral("reload: %1 projector(s) in force").arg(options_.projectors.size()));
}
