// SPDX-License-Identifier: GPL-3.0-or-later
// The JOSE library of the test platform: from the npm store that scripts/lti.sh installs
// (its node_modules folder in POROME_LTI_MODULES), else from a node_modules beside this file.
import { createRequire } from "node:module";
import path from "node:path";
import { pathToFileURL } from "node:url";

const modules = process.env.POROME_LTI_MODULES;
const where = modules ? createRequire(path.join(modules, "..", "resolve.js")).resolve("jose") : "jose";
const jose = await import(modules ? pathToFileURL(where).href : where);
export default jose;
