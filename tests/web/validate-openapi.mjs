// Validates an OpenAPI document against the OpenAPI 3 schema and resolves
// every $ref. Usage: node validate-openapi.mjs FILE
import { readFileSync } from "node:fs";
import SwaggerParser from "@apidevtools/swagger-parser";

const document = JSON.parse(readFileSync(process.argv[2], "utf8"));
try {
  const api = await SwaggerParser.validate(document);
  const operations = Object.values(api.paths).reduce((n, item) => n + Object.keys(item).length, 0);
  if (operations === 0) throw new Error("the document has no operation");
  console.log(`valid OpenAPI ${api.openapi}: ${Object.keys(api.paths).length} path(s), ` +
              `${operations} operation(s), ${Object.keys(api.components.schemas).length} schema(s)`);
} catch (error) {
  console.error("invalid OpenAPI document: " + error.message);
  process.exit(1);
}
