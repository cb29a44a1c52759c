// vantor-mqtt: the bridge between the Vantor server and an MQTT broker.
#include "Cli.h"

int main(int argc, char** argv) {
    return vantor::mqtt::Main(argc, argv);
}
