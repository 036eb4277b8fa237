// What a system file declares about its own stepping, in an annotation of its default
// experiment that other tools may ignore:
//
//   <ssd:DefaultExperiment>
//     <ssd:Annotations>
//       <ssc:Annotation type="org.vehicle-sim.stepping">
//         <vs:Stepping xmlns:vs="urn:vehicle-sim:stepping">
//           <vs:Group step="0.0025">
//             <vs:Component name="controller"/>
//             <vs:Component name="valve"/>
//           </vs:Group>
//           <vs:PowerBond effort="motor.torque" flow="load.speed"/>
//         </vs:Stepping>
//       </ssc:Annotation>
//     </ssd:Annotations>
//   </ssd:DefaultExperiment>
//
// `Group`: components that exchange their values at that step among themselves when it is
// shorter than the run's communication step; with the other components they exchange at the
// run's communication points, the values held in between. `PowerBond`: two connections that carry power between two
// components, an effort (torque, force, voltage) one way and the flow it drives (speed, current)
// the other; the engine measures how much energy the two sides disagree on.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace master {

class SystemPackage;

struct DeclaredStepping {
  struct Group {
    std::vector<std::string> components;
    double step = 0.0;
    int line = 0;
  };
  struct PowerBond {
    std::string effortComponent, effortVariable;  // output of one side ...
    std::string flowComponent, flowVariable;      // ... and the output of the other side it meets
    int line = 0;
  };
  std::string source;  // the file, for messages
  std::vector<Group> groups;
  std::vector<PowerBond> bonds;
};

// Reads the stepping annotation of a system structure file; a file without one declares
// nothing. Throws MasterError with file and line for an element or value it cannot apply.
DeclaredStepping parseDeclaredStepping(std::string_view xml, const std::string& source);
DeclaredStepping readDeclaredStepping(const SystemPackage& package);

}  // namespace master
