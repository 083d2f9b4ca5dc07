// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/bridge_service.h"

#include "bridge/limit_counters.h"
#include "bridge/projector_service.h"

namespace {

// What a reload cannot change without a new broker connection.
bool sameBroker(const BridgeOptions &a, const BridgeOptions &b)
{
    return a.brokerHost == b.brokerHost && a.brokerPort == b.brokerPort && a.username == b.username &&
           a.password == b.password && a.caFile == b.caFile && a.topicPrefix == b.topicPrefix &&
           a.clientId == b.clientId && a.bridgeName == b.bridgeName &&
           a.homeAssistantStatusTopic == b.homeAssistantStatusTopic;
}

} // namespace

BridgeService::BridgeService(const BridgeOptions &options, QObject *parent, const SessionClock &clock)
    : QObject(parent), options_(options), clock_(clock),
      projectors_(std::make_unique<ProjectorService>(this, clock)),
      limits_(new LimitCounters(this, clock.makeTimer))
{
    connect(projectors_.get(), &ProjectorService::log, this, &BridgeService::log);
    connect(limits_, &LimitCounters::log, this, &BridgeService::log);
    projectors_->apply(options);
}

BridgeService::~BridgeService()
{
    // The faces let go of the projectors before the projectors go.
    while (!faces_.empty())
        faces_.pop_back();
}

FaceContext BridgeService::faceContext()
{
    return {options_, *projectors_, clock_, *limits_};
}

void BridgeService::addFace(std::unique_ptr<BridgeFace> face)
{
    connect(face.get(), &BridgeFace::log, this, &BridgeService::log);
    faces_.push_back(std::move(face));
}

bool BridgeService::start(QString *error)
{
    projectors_->start();
    for (const auto &face : faces_)
        if (!face->start(error))
            return false;
    return true;
}

void BridgeService::stop()
{
    for (const auto &face : faces_)
        face->stopTaking();
    projectors_->stop(RefusalKind::Stopping);
    for (const auto &face : faces_)
        face->stop();
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
    options_.groups = options.groups;
    options_.pollSeconds = options.pollSeconds;
    options_.queueLimit = options.queueLimit;
    projectors_->apply(options_);
    emit log(QStringLiteral("reload: %1 projector(s) and %2 group(s) in force")
                 .arg(options_.projectors.size())
                 .arg(projectors_->groups().size()));
}
