// The winget schemas give return codes the format "long", which Ajv does not know: their range is
// in the schema already, so any integer is one.
module.exports = (ajv) => ajv.addFormat('long', { type: 'number', validate: Number.isInteger });
