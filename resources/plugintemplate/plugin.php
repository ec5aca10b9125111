<?php
/**
 * The plugin's main file: its header, the funnel post type and pages, and the rewrite rules set
 * up and cleared when the plugin is switched on and off.
 *
 * @package #prefix#
 */

?>
#header#
<?php
if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

require_once __DIR__ . '/modules/cpt.php';
require_once __DIR__ . '/modules/cpt_template_loader.php';

/**
 * The plugin name as typed when the plugin was built. A nowdoc keeps quotes, "$" and
 * backslashes in it literal; callers escape it for where they print it. The name never
 * starts its line, so no name can be read as the nowdoc's end.
 *
 * @return string
 */
function #prefix#_menu_name() {
	$name = <<<'#prefix#_MENU_NAME_END'
name:#menuname#
#prefix#_MENU_NAME_END;
	return trim( substr( $name, strlen( 'name:' ) ) );
}

/**
 * Activation runs after "init", so the post type is registered here first for its
 * permalinks to make it into the rewrite rules.
 */
function #prefix#_activate() {
	#prefix#_register_post_type();
	flush_rewrite_rules( false );
}

/**
 * Takes the funnel addresses out of the rewrite rules when the plugin is switched off.
 */
function #prefix#_deactivate() {
	unregister_post_type( #prefix#_post_type() );
	flush_rewrite_rules( false );
}

register_activation_hook( __FILE__, '#prefix#_activate' );
register_deactivation_hook( __FILE__, '#prefix#_deactivate' );
